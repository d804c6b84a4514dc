// Building an icon's tool-type block: texts one after another, each ended by
// a NUL, the whole block ended by one more NUL (an empty text). Readers add
// texts one at a time; the block always stays well-formed, so a reader that
// stops half-way still leaves a block that every walk can end on.
//
// The number of texts is kept beside the block: a stored tool type may be
// empty, and a walk to the first empty text would then lose the rest.
#pragma once

#include <cstdint>
#include <cstring>

struct ToolTypeBlock {
    char* texts;        // null until the first text; owned (memory tag "tooltypes")
    uint32_t used;      // bytes in use, the final NUL included
    uint32_t capacity;  // bytes allocated
    uint32_t count;     // texts added, empty ones included
};

// The characters of a stored text of `length` bytes: up to its first NUL,
// all of them when it has none.
inline uint32_t TextLength(const char* bytes, uint32_t length) {
    const void* nul = length ? memchr(bytes, 0, length) : nullptr;
    return nul ? static_cast<uint32_t>(static_cast<const char*>(nul) - bytes) : length;
}

// Appends `length` bytes as one text and ends it with a NUL; a NUL inside the
// bytes ends the text there. A block that holds ToolTypeListMaxItems texts
// takes no more: the text is left out and the result is 1. 0 when memory
// runs out (the block keeps what it had) or the block would pass 2^31 bytes.
int32_t AppendToolType(ToolTypeBlock* block, const char* bytes, uint32_t length);

// Hands the block over: returns it and leaves *block empty. A block without
// texts gives null.
char* TakeToolTypes(ToolTypeBlock* block);

// Releases whatever the block still owns.
void ReleaseToolTypes(ToolTypeBlock* block);
