// The `pictra` command line: global options, the subcommands and exit codes.
#pragma once

namespace pictra::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // an input could not be processed
inline constexpr int kExitUsage = 2;    // the command line was wrong

int runTool(int argc, char** argv);

}  // namespace pictra::cli
