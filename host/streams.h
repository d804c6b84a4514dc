// Host streams: buffered files, named memory blocks and growing memory
// outputs. Names of memory blocks resolve only through the registry of live
// blocks; a name is never parsed for an address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::host {

StreamHandle openStream(const char* name, int32_t mode);
StreamHandle openStreamTagged(const char* name, int32_t mode, const TagItem* tags);
void closeStream(StreamHandle stream);
int32_t seekStream(StreamHandle stream, int32_t offset, int32_t mode);  // position before the move
int32_t readStream(StreamHandle stream, void* buffer, int32_t length);
int32_t writeStream(StreamHandle stream, const void* buffer, int32_t length);
int32_t readStreamByte(StreamHandle stream);  // 0-255, or -1 at the end
void writeStreamByte(StreamHandle stream, int32_t value);
int32_t streamAtEnd(StreamHandle stream);

int32_t nameMemoryBlock(char* name, int32_t nameLength, const MemoryBlockDesc* desc, uintptr_t);
StreamHandle openMemoryOutput(char* name, int32_t nameLength, uintptr_t);
const void* memoryOutputBytes(StreamHandle stream, uint32_t* size, uintptr_t);
void closeMemoryOutput(StreamHandle stream);

// Counters for tests: how streams were opened and how many are still open.
struct StreamCounters {
    std::size_t plainOpens = 0;   // OpenStream calls that produced a stream
    std::size_t taggedOpens = 0;  // OpenStreamTagged calls that produced a stream
    std::size_t liveStreams = 0;  // streams and memory outputs not yet closed
    uintptr_t lastOpenParameter = 0;  // tag 1 of the last tagged open
    // Writes that were lost: a write the stream refused, or a new file whose
    // bytes could not be stored when it was closed. The module does not look
    // at write results, so a host application compares this count around a
    // save to learn whether the file is complete.
    std::size_t failedWrites = 0;
    // New files left empty because their bytes would have passed the save
    // budget (budgets.h); each such file's refused writes count above too.
    std::size_t overBudgetFiles = 0;
};
StreamCounters streamCounters();
// The lost writes counted so far on the calling thread: where several
// threads save at once, each compares this around its own save.
std::size_t failedWritesOnThisThread();
// The new files left empty over the save budget so far on the calling
// thread, for the same use.
std::size_t overBudgetFilesOnThisThread();

// Fault injection: new-file streams keep no byte past the first `bytes` of
// the file, as on a full disk; the refused part of a write counts as a lost
// write. clearFileWriteLimit() lifts it.
void limitFileWrites(std::size_t bytes);
void clearFileWriteLimit();
// Tracing for the full-disk sweep: from traceFileWrites() on, the position
// at which each write to a new file ends is kept, and tracedFileWrites()
// stops the trace and hands them over in order. Under a write limit exactly
// the writes that end past it fail, so limits between two neighbouring
// ends all fail the same writes: one limit at each end, and one byte short
// of it (that write kept in part), stand for them all.
void traceFileWrites();
std::vector<std::size_t> tracedFileWrites();
void resetStreamCounters();  // zeroes the other counts, keeps liveStreams

}  // namespace pictra::host
