#include "commands.h"

int main(int argc, char** argv) { return pictra::cli::runTool(argc, argv); }
