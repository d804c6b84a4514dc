#include "frame/tool_types.h"

#include <cstring>

#include "frame/host.h"

namespace {

constexpr uint32_t kMaxBlockBytes = 0x7FFFFFFF;
constexpr uint32_t kFirstCapacity = 256;

// Makes room for `extra` more bytes, doubling so that n texts cost O(n) copies.
int32_t Reserve(ToolTypeBlock* block, uint32_t extra) {
    if (extra > kMaxBlockBytes - block->used) return 0;
    uint32_t needed = block->used + extra;
    if (needed <= block->capacity) return 1;
    uint32_t capacity = block->capacity ? block->capacity : kFirstCapacity;
    while (capacity < needed) capacity = capacity > kMaxBlockBytes / 2 ? kMaxBlockBytes : capacity * 2;
    auto* texts = static_cast<char*>(AllocMemory(capacity, 0, "tooltypes"));
    if (!texts) return 0;
    if (block->texts) {
        memcpy(texts, block->texts, block->used);
        FreeMemory(block->texts);
    }
    block->texts = texts;
    block->capacity = capacity;
    return 1;
}

}  // namespace

int32_t AppendToolType(ToolTypeBlock* block, const char* bytes, uint32_t length) {
    if (block->count >= ToolTypeListMaxItems) return 1;
    length = TextLength(bytes, length);
    // The text, its NUL, and on the first text the block's closing NUL.
    uint32_t closing = block->used == 0 ? 1 : 0;
    if (length > kMaxBlockBytes - 2 || !Reserve(block, length + 1 + closing)) return 0;
    // The new text takes the place of the closing NUL, which moves behind it.
    char* at = block->texts + block->used - (closing ? 0 : 1);
    if (length) memcpy(at, bytes, length);
    at[length] = '\0';
    at[length + 1] = '\0';
    block->used += length + 1 + closing;
    ++block->count;
    return 1;
}

char* TakeToolTypes(ToolTypeBlock* block) {
    char* texts = block->texts;
    *block = ToolTypeBlock{};
    return texts;
}

void ReleaseToolTypes(ToolTypeBlock* block) {
    if (block->texts) FreeMemory(block->texts);
    *block = ToolTypeBlock{};
}
