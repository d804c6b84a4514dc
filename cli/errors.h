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

// A file that is not an icon of the kind the work needs. Named on the
// command line it is a failure; found in a folder walk it is skipped.
class NotAnIconError : public FileError {
public:
    using FileError::FileError;
};

// "pictra: FILE: WHAT" and a newline: the line reportFileError prints, with
// FILE and WHAT made printable (text.h), so that it stays one line.
std::string fileErrorLine(const FileError& error);

// The system's text for errno `code` ("No such file or directory").
std::string systemMessage(int code);

// "pictra: FILE: WHAT" on stderr.
void reportFileError(const FileError& error);
// "pictra: WHAT" on stderr, WHAT made printable.
void reportError(const std::string& message);

}  // namespace pictra::cli
