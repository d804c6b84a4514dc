// Whole-file reads and writes behind the file streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/posix_file.h"
#include "host/stream_internal.h"

namespace pictra::host {

bool readWholeFile(const char* path, std::size_t limit, std::vector<uint8_t>& out) {
    if (!path || !*path) return false;
    FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return false;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > limit) return false;
    out.assign(static_cast<std::size_t>(info.st_size), 0);
    // A file that shrank under us keeps what is there.
    const ssize_t done = readFully(file.get(), out);
    if (done < 0) return false;
    out.resize(static_cast<std::size_t>(done));
    return true;
}

int createFile(const char* path) {
    if (!path || !*path) return -1;
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool writeAndClose(int fd, std::span<const uint8_t> data) {
    FileDescriptor file(fd);
    if (file.get() < 0) return false;
    if (!writeFully(file.get(), data)) return false;
    return file.close();
}

bool writeWholeFile(const char* path, std::span<const uint8_t> data) {
    return writeAndClose(createFile(path), data);
}

}  // namespace pictra::host

PictraStream::~PictraStream() {
    if (descriptor >= 0) ::close(descriptor);
}
