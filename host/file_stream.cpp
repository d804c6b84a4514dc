// Whole-file reads and writes behind the file streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/stream_internal.h"

namespace pictra::host {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

bool readWholeFile(const char* path, std::size_t limit, std::vector<uint8_t>& out) {
    if (!path || !*path) return false;
    Descriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return false;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > limit) return false;
    out.assign(static_cast<std::size_t>(info.st_size), 0);
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::read(file.get(), out.data() + done, out.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the file shrank under us: keep what is there
        done += static_cast<std::size_t>(got);
    }
    out.resize(done);
    return true;
}

int createFile(const char* path) {
    if (!path || !*path) return -1;
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool writeAndClose(int fd, std::span<const uint8_t> data) {
    Descriptor file(fd);
    if (file.get() < 0) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(file.get(), data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return file.close();
}

bool writeWholeFile(const char* path, std::span<const uint8_t> data) {
    return writeAndClose(createFile(path), data);
}

}  // namespace pictra::host

PictraStream::~PictraStream() {
    if (descriptor >= 0) ::close(descriptor);
}
