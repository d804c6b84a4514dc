#include "safe_save.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
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

// The temporaries of the saves in progress, for the signal handler: a
// fixed table it can walk without taking a lock or allocating. A save that
// finds no free entry (more at once than any run has workers) still works.
constexpr std::size_t kTracked = 256;
constexpr std::size_t kNameRoom = 4096;
struct Tracked {
    std::atomic<bool> taken{false};
    std::atomic<bool> live{false};  // `name` is complete and the file may exist
    char name[kNameRoom];
};
Tracked tracked[kTracked];

int track(const std::string& name) {
    if (name.size() >= kNameRoom) return -1;
    for (std::size_t i = 0; i < kTracked; ++i) {
        bool free = false;
        if (!tracked[i].taken.compare_exchange_strong(free, true)) continue;
        std::memcpy(tracked[i].name, name.c_str(), name.size() + 1);
        tracked[i].live.store(true);
        return static_cast<int>(i);
    }
    return -1;
}

void untrack(int index) {
    if (index < 0) return;
    tracked[index].live.store(false);
    tracked[index].taken.store(false);
}

// Workers keep saving while the handler runs on one thread. A temporary
// created after the handler removed the others would stay, so creating one
// is announced in `creating` (with the signals blocked on that thread), and
// the handler, once `stopping` is set, waits for those under way to finish.
std::atomic<int> creating{0};
std::atomic<bool> stopping{false};

extern "C" void removeTemporariesAndExit(int signal) {
    stopping.store(true);
    const timespec pause{0, 1000000};
    for (int waited = 0; creating.load() > 0 && waited < 1000; ++waited) ::nanosleep(&pause, nullptr);
    for (Tracked& entry : tracked)
        if (entry.live.load()) ::unlink(entry.name);
    ::_exit(128 + signal);
}

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The cleanup signals held back on the calling thread while it creates a
// temporary; once the process is stopping, the thread creates none and waits
// for the handler to end the process.
class CreatingTemporary {
public:
    CreatingTemporary() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kCleanupSignals) sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &before_);
        creating.fetch_add(1);
        if (stopping.load()) {
            creating.fetch_sub(1);
            for (;;) ::pause();
        }
    }
    ~CreatingTemporary() {
        creating.fetch_sub(1);
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    CreatingTemporary(const CreatingTemporary&) = delete;
    CreatingTemporary& operator=(const CreatingTemporary&) = delete;

private:
    sigset_t before_;
};

// ".pictra-" and ten letters or digits drawn at random.
std::string temporaryName() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = ".pictra-";
    for (int i = 0; i < 10; ++i) name += kAlphabet[random() % (sizeof kAlphabet - 1)];
    return name;
}

}  // namespace

void removeTemporariesOnSignals() {
    for (int signal : kCleanupSignals) {
        struct sigaction current {};
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndExit;
        sigemptyset(&action.sa_mask);
        for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
        sigaction(signal, &action, nullptr);
    }
}

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
    std::filesystem::path folder = std::filesystem::path(target_).parent_path();
    if (folder.empty()) folder = ".";
    // A short name of its own: the target's may already be as long as the
    // file system allows. It is tracked before the file exists, so that a
    // signal arriving on any thread finds it.
    int error = 0;
    {
        const CreatingTemporary creation;
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            untrack(tracked_);
            temp_ = (folder / temporaryName()).string();
            tracked_ = track(temp_);
            fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            error = errno;
            if (fd_ < 0 && error != EEXIST) break;
        }
    }
    if (fd_ < 0) {
        untrack(tracked_);
        tracked_ = -1;
        throw FileError(target_, "cannot create a temporary file in " + folder.string() + ": " +
                                     systemMessage(error));
    }
}

std::string PendingFile::writePath() const { return "/proc/self/fd/" + std::to_string(fd_); }

PendingFile::~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
    untrack(tracked_);
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
    untrack(tracked_);
    tracked_ = -1;
}

void writeFileSafely(const std::string& target, std::span<const uint8_t> bytes) {
    PendingFile file(target);
    if (!host::writeFully(file.descriptor(), bytes))
        throw FileError(target, "cannot write: " + systemMessage(errno));
    file.commit();
}

}  // namespace pictra::cli
