#include <exception>
#include <string>

#include "commands.h"
#include "errors.h"
#include "host/memory.h"
#include "safe_save.h"

int main(int argc, char** argv) {
    // One run may load many icons: freed picture memory is kept for the next.
    pictra::host::keepFreedMemory(pictra::host::kToolHeapBlock);
    pictra::cli::removeTemporariesOnSignals();
    try {
        return pictra::cli::runTool(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory and the like: still one line and a failure status.
        pictra::cli::reportError(std::string("internal error: ") + error.what());
        return pictra::cli::kExitFailure;
    }
}
