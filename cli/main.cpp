#include <exception>
#include <string>

#include "commands.h"
#include "errors.h"

int main(int argc, char** argv) {
    try {
        return pictra::cli::runTool(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory and the like: still one line and a failure status.
        pictra::cli::reportError(std::string("internal error: ") + error.what());
        return pictra::cli::kExitFailure;
    }
}
