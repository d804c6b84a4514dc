#include "errors.h"

#include <cstdio>
#include <cstring>

#include <fmt/core.h>

#include "text.h"

namespace pictra::cli {

std::string systemMessage(int code) { return std::strerror(code); }

// A name may hold a line break or a terminal's escape sequence, the file's
// own and any the message names (the module's path in the loader's text,
// the other file of a clash), so both parts are made printable.
std::string fileErrorLine(const FileError& error) {
    return fmt::format("pictra: {}: {}\n", printable(error.file()), printable(error.what()));
}

void reportFileError(const FileError& error) { std::fputs(fileErrorLine(error).c_str(), stderr); }

void reportError(const std::string& message) { fmt::print(stderr, "pictra: {}\n", printable(message)); }

}  // namespace pictra::cli
