// The stream operations of the host tables. Every stream is a byte array
// with a position (see stream_internal.h); a stream is used by one thread at
// a time, so only the shared counters take a lock.
#include "host/streams.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "host/budgets.h"
#include "host/stream_internal.h"
#include "host/tag_list.h"

namespace pictra::host {
namespace {

struct Counters {
    std::mutex lock;
    StreamCounters values;
};

Counters& counters() {
    static Counters instance;
    return instance;
}

StreamHandle openFileStream(const char* name, int32_t mode) {
    if (!name || !*name) return nullptr;
    auto stream = std::make_unique<PictraStream>();
    if (mode == StreamModeRead) {
        stream->kind = PictraStream::Kind::ReadFile;
        if (!readWholeFile(name, kMaxReadFileBytes, stream->bytes)) return nullptr;
    } else if (mode == StreamModeNewFile) {
        stream->kind = PictraStream::Kind::NewFile;
        stream->byteLimit = std::min<std::size_t>(budgets().bytesPerSave, kMaxStreamBytes);
        stream->descriptor = createFile(name);
        if (stream->descriptor < 0) return nullptr;
    } else {
        return nullptr;
    }
    noteStreamOpened();
    return stream.release();
}

// Opens a file stream and counts it as a plain or a tagged open.
StreamHandle openCountedStream(const char* name, int32_t mode, bool tagged, uintptr_t parameter) {
    try {
        StreamHandle stream = openFileStream(name, mode);
        if (stream) {
            Counters& c = counters();
            std::lock_guard guard(c.lock);
            if (tagged) {
                ++c.values.taggedOpens;
                c.values.lastOpenParameter = parameter;
            } else {
                ++c.values.plainOpens;
            }
        }
        return stream;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

void noteStreamOpened() {
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    ++c.values.liveStreams;
}

thread_local std::size_t failedWritesHere = 0;

void noteFailedWrite() {
    ++failedWritesHere;
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    ++c.values.failedWrites;
}

thread_local std::size_t overBudgetFilesHere = 0;

void noteOverBudgetFile() {
    ++overBudgetFilesHere;
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    ++c.values.overBudgetFiles;
}

void noteStreamClosed() {
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    if (c.values.liveStreams > 0) --c.values.liveStreams;
}

bool streamWrite(PictraStream& stream, std::span<const uint8_t> data) {
    if (stream.kind == PictraStream::Kind::ReadFile) return false;
    // Writing nothing changes nothing, even at a position past the end.
    if (data.empty()) return true;
    if (stream.kind == PictraStream::Kind::NewFile) noteFileWrite(stream.position + data.size());
    if (stream.position > kMaxStreamBytes || data.size() > kMaxStreamBytes - stream.position)
        return false;
    if (stream.overBudget) return false;
    if (stream.position + data.size() > stream.byteLimit) {
        // The file would pass the save budget: it stays empty, and the bytes
        // gathered so far are let go at once.
        stream.overBudget = true;
        std::vector<uint8_t>().swap(stream.bytes);
        return false;
    }
    const std::size_t limit = fileWriteRoom();
    if (stream.kind == PictraStream::Kind::NewFile && stream.position + data.size() > limit) {
        // A full disk: what fits is kept, the rest is lost.
        if (stream.position < limit) streamWrite(stream, data.first(limit - stream.position));
        return false;
    }
    const std::size_t end = stream.position + data.size();
    try {
        if (end > stream.bytes.size()) stream.bytes.resize(end, 0);
    } catch (...) {
        return false;
    }
    std::memcpy(stream.bytes.data() + stream.position, data.data(), data.size());
    stream.position = end;
    return true;
}

StreamHandle openStream(const char* name, int32_t mode) {
    return openCountedStream(name, mode, false, 0);
}

StreamHandle openStreamTagged(const char* name, int32_t mode, const TagItem* tags) {
    return openCountedStream(name, mode, true, tagValue(tags, OpenTagParameter).value_or(0));
}

void closeStream(StreamHandle stream) {
    if (!stream) return;
    if (stream->kind == PictraStream::Kind::NewFile) {
        const int fd = stream->descriptor;
        stream->descriptor = -1;  // writeAndClose owns it now
        if (stream->overBudget) {
            noteOverBudgetFile();
            if (!writeAndClose(fd, {})) noteFailedWrite();
        } else if (!writeAndClose(fd, stream->bytes)) {
            noteFailedWrite();
        }
    }
    releaseStream(stream);
}

int32_t seekStream(StreamHandle stream, int32_t offset, int32_t mode) {
    if (!stream) return -1;
    int64_t base = 0;
    switch (mode) {
    case SeekFromCurrent: base = static_cast<int64_t>(stream->position); break;
    case SeekFromStart: base = 0; break;
    case SeekFromEnd: base = static_cast<int64_t>(stream->bytes.size()); break;
    default: return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > static_cast<int64_t>(kMaxStreamBytes)) return -1;
    const auto before = static_cast<int32_t>(stream->position);
    stream->position = static_cast<std::size_t>(target);
    return before;
}

int32_t readStream(StreamHandle stream, void* buffer, int32_t length) {
    if (!stream || length < 0 || (!buffer && length > 0)) return -1;
    const std::size_t size = stream->bytes.size();
    if (stream->position >= size || length == 0) return 0;
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(length),
                                                    size - stream->position);
    std::memcpy(buffer, stream->bytes.data() + stream->position, count);
    stream->position += count;
    return static_cast<int32_t>(count);
}

int32_t writeStream(StreamHandle stream, const void* buffer, int32_t length) {
    if (!stream || length < 0 || (!buffer && length > 0)) return -1;
    const std::span data(static_cast<const uint8_t*>(buffer), static_cast<std::size_t>(length));
    if (streamWrite(*stream, data)) return length;
    noteFailedWrite();
    return -1;
}

int32_t readStreamByte(StreamHandle stream) {
    // At the end the position stays put and every further call gives -1.
    if (!stream || stream->position >= stream->bytes.size()) return -1;
    return stream->bytes[stream->position++];
}

void writeStreamByte(StreamHandle stream, int32_t value) {
    if (!stream) return;
    const auto byte = static_cast<uint8_t>(value & 0xFF);
    std::vector<uint8_t>& bytes = stream->bytes;
    if (stream->kind != PictraStream::Kind::ReadFile && !fileWritesWatched()) {
        // The two common cases, patching in place and appending, skip the
        // general write.
        if (stream->position < bytes.size()) {
            bytes[stream->position++] = byte;
            return;
        }
        if (stream->position == bytes.size() && bytes.size() < stream->byteLimit &&
            bytes.size() < bytes.capacity()) {
            bytes.push_back(byte);
            ++stream->position;
            return;
        }
    }
    if (!streamWrite(*stream, std::span(&byte, 1))) noteFailedWrite();
}

int32_t streamAtEnd(StreamHandle stream) {
    if (!stream) return 1;
    return stream->position >= stream->bytes.size() ? 1 : 0;
}

StreamCounters streamCounters() {
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    return c.values;
}

std::size_t failedWritesOnThisThread() { return failedWritesHere; }

std::size_t overBudgetFilesOnThisThread() { return overBudgetFilesHere; }

void resetStreamCounters() {
    Counters& c = counters();
    std::lock_guard guard(c.lock);
    c.values.plainOpens = 0;
    c.values.taggedOpens = 0;
    c.values.lastOpenParameter = 0;
    c.values.failedWrites = 0;
    c.values.overBudgetFiles = 0;
}

}  // namespace pictra::host
