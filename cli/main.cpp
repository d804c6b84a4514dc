#include <exception>
#include <string>

#include "commands.h"
#include "errors.h"
#include "safe_save.h"

int main(int argc, char** argv) {
    pictra::cli::removeTemporariesOnSignals();
    try {
        return pictra::cli::runTool(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory and the like: still one line and a failure status.
        pictra::cli::reportError(std::string("internal error: ") + error.what());
        return pictra::cli::kExitFailure;
    }
}
