#include "safe_save.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"
#include "host/posix_file.h"

namespace pictra::cli {

namespace {

// Permissions for the finished file: those of the file it replaces, else
// what a newly created file would get under the current umask.
mode_t finalMode(const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
    const std::filesystem::path path(target_);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + path.filename().string() + ".pictra-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw FileError(target_, "cannot create a temporary file in " + folder.string() + ": " +
                                     systemMessage(errno));
    temp_ = name.data();
}

PendingFile::~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
}

void PendingFile::commit() {
    if (::fsync(fd_) != 0 || ::fchmod(fd_, finalMode(target_)) != 0)
        throw FileError(target_, "cannot write: " + systemMessage(errno));
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) throw FileError(target_, "cannot write: " + systemMessage(errno));
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        throw FileError(target_, "cannot replace: " + systemMessage(errno));
    committed_ = true;
}

void writeFileSafely(const std::string& target, std::span<const uint8_t> bytes) {
    PendingFile file(target);
    if (!host::writeFully(file.descriptor(), bytes))
        throw FileError(target, "cannot write: " + systemMessage(errno));
    file.commit();
}

}  // namespace pictra::cli
