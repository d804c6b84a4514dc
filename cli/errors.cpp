#include "errors.h"

#include <cstdio>
#include <cstring>

#include <fmt/core.h>

namespace pictra::cli {

std::string systemMessage(int code) { return std::strerror(code); }

std::string fileErrorLine(const FileError& error) {
    return fmt::format("pictra: {}: {}\n", error.file(), error.what());
}

void reportFileError(const FileError& error) { std::fputs(fileErrorLine(error).c_str(), stderr); }

void reportError(const std::string& message) { fmt::print(stderr, "pictra: {}\n", message); }

}  // namespace pictra::cli
