#include "errors.h"

#include <cstdio>
#include <cstring>

#include <fmt/core.h>

#include "text.h"

namespace pictra::cli {

std::string systemMessage(int code) { return std::strerror(code); }

std::string fileErrorLine(const FileError& error) {
    // A name may hold a line break or a terminal's escape sequence.
    return fmt::format("pictra: {}: {}\n", printable(error.file()), error.what());
}

void reportFileError(const FileError& error) { std::fputs(fileErrorLine(error).c_str(), stderr); }

void reportError(const std::string& message) { fmt::print(stderr, "pictra: {}\n", message); }

}  // namespace pictra::cli
