// How the tool reports a failure: every error names the file it concerns and
// what went wrong, and becomes one line on stderr.
#pragma once

#include <stdexcept>
#include <string>

namespace pictra::cli {

// A failure while processing one input or output file.
class FileError : public std::runtime_error {
public:
    FileError(std::string file, const std::string& what)
        : std::runtime_error(what), file_(std::move(file)) {}
    const std::string& file() const { return file_; }

private:
    std::string file_;
};

// The system's text for errno `code` ("No such file or directory").
std::string systemMessage(int code);

// "pictra: FILE: WHAT" on stderr.
void reportFileError(const FileError& error);
// "pictra: WHAT" on stderr.
void reportError(const std::string& message);

}  // namespace pictra::cli
