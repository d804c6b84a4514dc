// The one stream object behind every StreamHandle. All streams hold their
// bytes in memory: a read stream holds the whole file, a new-file stream
// collects its bytes and writes them when it is closed, and a memory output
// keeps them until it is released. That makes one call per byte a bounds
// check and an array access, and lets writers seek back and patch freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pictra/plugin.h"

struct PictraStream {
    enum class Kind { ReadFile, NewFile, MemoryOutput };
    Kind kind = Kind::ReadFile;
    std::vector<uint8_t> bytes;
    std::size_t position = 0;  // may lie past the end after a seek
    int descriptor = -1;       // NewFile only
    std::size_t byteLimit = 0x7FFFFFFF;  // NewFile: the save budget (budgets.h)
    bool overBudget = false;   // a write would have passed byteLimit; nothing is kept
    std::string name;          // MemoryOutput only: its registered name

    PictraStream() = default;
    PictraStream(const PictraStream&) = delete;
    PictraStream& operator=(const PictraStream&) = delete;
    ~PictraStream();  // closes the descriptor without writing
};

namespace pictra::host {

// Positions are signed 32-bit on the interface, so no stream grows past this.
inline constexpr std::size_t kMaxStreamBytes = 0x7FFFFFFF;
// A read stream loads the whole file; larger files are refused at open.
inline constexpr std::size_t kMaxReadFileBytes = std::size_t{256} << 20;

// Writes at the stream's position, filling a gap past the end with zeros.
// Returns false when the stream is read-only or would outgrow its limit.
bool streamWrite(PictraStream& stream, std::span<const uint8_t> data);

// Reads a whole regular file (at most `limit` bytes) into `out`.
bool readWholeFile(const char* path, std::size_t limit, std::vector<uint8_t>& out);
// Creates or truncates `path` for writing; -1 on failure.
int createFile(const char* path);
// Writes all of `data` to `fd` and closes it; false if either fails.
bool writeAndClose(int fd, std::span<const uint8_t> data);
// Creates or truncates `path` and writes `data` to it.
bool writeWholeFile(const char* path, std::span<const uint8_t> data);

// The sweep's watch over new-file streams (stream_watch.cpp): whether a
// limit or a trace is on, the size past which writes fail (SIZE_MAX for
// none), and the end of a write, kept while tracing.
bool fileWritesWatched();
std::size_t fileWriteRoom();
void noteFileWrite(std::size_t end);

// Live-stream bookkeeping shared by file streams and memory outputs.
void noteStreamOpened();
void noteStreamClosed();
void noteFailedWrite();

// Memory outputs by name (memory_names.cpp). Null when the name is not a
// live output.
PictraStream* findMemoryOutput(const char* name);
// True for any name in the namespace of memory outputs, live or not.
bool isMemoryOutputName(const char* name);
// Takes the bytes of a live memory-block name and retires the name.
bool takeNamedBlock(const char* name, std::vector<uint8_t>& out);
// Releases any stream kind (memory outputs drop their name first).
void releaseStream(PictraStream* stream);

}  // namespace pictra::host
