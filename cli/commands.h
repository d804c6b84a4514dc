// The `pictra` command line: global options, the subcommands and exit codes.
#pragma once

#include "command.h"

namespace pictra::cli {

int runTool(int argc, char** argv);

}  // namespace pictra::cli
