#include "errors.h"

#include <cstdio>
#include <cstring>

#include <fmt/core.h>

namespace pictra::cli {

std::string systemMessage(int code) { return std::strerror(code); }

void reportFileError(const FileError& error) {
    fmt::print(stderr, "pictra: {}: {}\n", error.file(), error.what());
}

void reportError(const std::string& message) { fmt::print(stderr, "pictra: {}\n", message); }

}  // namespace pictra::cli
