// Small POSIX file helpers shared by the host and the tool: a descriptor
// that closes itself, and reads and writes that retry short transfers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include <sys/types.h>

namespace pictra::host {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Hands the descriptor to the caller, who closes it.
    int release() { return std::exchange(fd_, -1); }
    // Closes now, so that the caller learns whether the close succeeded.
    bool close();

private:
    int fd_;
};

// Reads until `buffer` is full or the file ends; the count, or -1 on error.
ssize_t readFully(int fd, std::span<uint8_t> buffer);
// Writes all of `data`; false on error.
bool writeFully(int fd, std::span<const uint8_t> data);

}  // namespace pictra::host
