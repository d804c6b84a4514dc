// The sweep's watch over new-file streams: a write limit that plays a full
// disk, and a trace of where each write ends. Both are off in production;
// streams.cpp asks fileWritesWatched() before taking the general path.
#include <atomic>
#include <mutex>

#include "host/stream_internal.h"
#include "host/streams.h"

namespace pictra::host {
namespace {

constexpr std::size_t kNoWriteLimit = SIZE_MAX;
std::atomic<std::size_t> fileWriteLimit{kNoWriteLimit};
std::atomic<bool> tracingFileWrites{false};

struct Trace {
    std::mutex lock;
    std::vector<std::size_t> ends;
};

Trace& trace() {
    static Trace instance;
    return instance;
}

}  // namespace

bool fileWritesWatched() {
    return fileWriteLimit.load(std::memory_order_relaxed) != kNoWriteLimit ||
           tracingFileWrites.load(std::memory_order_relaxed);
}

std::size_t fileWriteRoom() { return fileWriteLimit.load(std::memory_order_relaxed); }

void noteFileWrite(std::size_t end) {
    if (!tracingFileWrites.load(std::memory_order_relaxed)) return;
    Trace& t = trace();
    std::lock_guard guard(t.lock);
    t.ends.push_back(end);
}

void limitFileWrites(std::size_t bytes) { fileWriteLimit = bytes; }

void clearFileWriteLimit() { fileWriteLimit = kNoWriteLimit; }

void traceFileWrites() {
    Trace& t = trace();
    std::lock_guard guard(t.lock);
    t.ends.clear();
    tracingFileWrites = true;
}

std::vector<std::size_t> tracedFileWrites() {
    Trace& t = trace();
    std::lock_guard guard(t.lock);
    tracingFileWrites = false;
    std::vector<std::size_t> ends;
    ends.swap(t.ends);
    return ends;
}

}  // namespace pictra::host
