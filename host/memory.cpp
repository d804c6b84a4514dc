// Tagged host memory. Every live block is kept in one table with its size
// and tag, so frees can be checked and usage reported per tag.
#include "host/memory.h"

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace pictra::host {
namespace {

// How much freed memory keepFreedMemory() lets the heap keep.
constexpr int kKeptFreeBytes = 1 << 30;

// Blocks are aligned for any scalar and any 16-byte vector type.
constexpr std::size_t kBlockAlignment = 16;

struct Block {
    std::size_t size = 0;
    TagUsage* usage = nullptr;  // node of Ledger::tags, stable for the process
};

struct Ledger {
    std::mutex lock;
    std::map<std::string, TagUsage> tags;
    std::unordered_map<void*, Block> blocks;
    std::size_t liveBytes = 0;
    std::size_t peakBytes = 0;
    std::size_t badFrees = 0;
    std::size_t failCountdown = 0;  // 0 = off; 1 = the next allocation fails
    std::string failTag;
    bool failTagActive = false;
};

Ledger& ledger() {
    static Ledger instance;
    return instance;
}

// True when this allocation is chosen to fail; counts it either way.
bool injectFault(Ledger& l, const std::string& tag) {
    bool fail = false;
    if (l.failCountdown != 0) {
        if (--l.failCountdown == 0) fail = true;
    }
    if (l.failTagActive && tag == l.failTag) fail = true;
    return fail;
}

// A block of `rounded` bytes, aligned for kBlockAlignment. A cleared one
// comes from calloc where malloc's alignment suffices: pages fresh from the
// system are zero already, and calloc does not clear them again.
void* takeBlock(std::size_t rounded, bool clear) {
    if (clear && alignof(std::max_align_t) >= kBlockAlignment) return std::calloc(1, rounded);
    void* block = std::aligned_alloc(kBlockAlignment, rounded);
    if (block && clear) std::memset(block, 0, rounded);
    return block;
}

}  // namespace

void* allocMemory(uint32_t size, bool clear, const char* tag) {
    const std::string name = tag ? tag : "";
    // A 32-bit size rounded up to 16 cannot overflow a 64-bit size_t; on
    // 32-bit machines the check below catches the wrap.
    const std::size_t wanted = size == 0 ? kBlockAlignment : size;
    if (wanted > SIZE_MAX - (kBlockAlignment - 1)) return nullptr;
    const std::size_t rounded = (wanted + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;

    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    if (injectFault(l, name)) return nullptr;
    void* block = takeBlock(rounded, clear);
    if (!block) return nullptr;
    try {
        auto [it, inserted] = l.tags.try_emplace(name);
        TagUsage& usage = it->second;
        if (inserted) usage.tag = name;
        l.blocks.emplace(block, Block{size, &usage});
        ++usage.liveBlocks;
        usage.liveBytes += size;
        ++usage.allocations;
        l.liveBytes += size;
        l.peakBytes = std::max(l.peakBytes, l.liveBytes);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void freeMemory(void* block) {
    if (!block) return;
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    auto it = l.blocks.find(block);
    // A pointer this allocator never handed out (or already took back) is
    // left alone rather than corrupting the heap, and counted: it is a fault
    // of the caller that the leak report names.
    if (it == l.blocks.end()) {
        ++l.badFrees;
        return;
    }
    TagUsage& usage = *it->second.usage;
    --usage.liveBlocks;
    usage.liveBytes -= it->second.size;
    l.liveBytes -= it->second.size;
    l.blocks.erase(it);
    std::free(block);
}

std::size_t liveBlockCount() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    return l.blocks.size();
}

std::size_t liveByteCount() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    return l.liveBytes;
}

std::size_t peakByteCount() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    return l.peakBytes;
}

void resetPeakByteCount() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.peakBytes = l.liveBytes;
}

std::size_t badFreeCount() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    return l.badFrees;
}

void forgetBadFrees() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.badFrees = 0;
}

std::vector<TagUsage> memoryUsageByTag() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    std::vector<TagUsage> result;
    result.reserve(l.tags.size());
    for (const auto& [name, usage] : l.tags) result.push_back(usage);
    return result;
}

std::string leakReport() {
    std::string report;
    for (const TagUsage& usage : memoryUsageByTag()) {
        if (usage.liveBlocks == 0) continue;
        report += "\"" + usage.tag + "\": " + std::to_string(usage.liveBlocks) + " block(s), " +
                  std::to_string(usage.liveBytes) + " byte(s) live\n";
    }
    if (const std::size_t bad = badFreeCount())
        report += std::to_string(bad) + " free(s) of a block that was not live\n";
    return report;
}

void keepFreedMemory(int largestHeapBlock) {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, largestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
#endif
}

void failAllocationNumber(std::size_t n) {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failCountdown = n;
}

void failAllocationsTagged(const std::string& tag) {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failTag = tag;
    l.failTagActive = !tag.empty();
}

void clearAllocationFaults() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failCountdown = 0;
    l.failTag.clear();
    l.failTagActive = false;
}

}  // namespace pictra::host
