// Tagged host memory: every block carries its tag, live blocks and bytes are
// counted per tag, and tests can make chosen allocations fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictra::host {

struct TagUsage {
    std::string tag;
    std::size_t liveBlocks = 0;
    std::size_t liveBytes = 0;
    std::size_t allocations = 0;  // every successful allocation with this tag so far
};

void* allocMemory(uint32_t size, bool clear, const char* tag);  // null on failure
void freeMemory(void* block);

std::size_t liveBlockCount();
std::size_t liveByteCount();
std::vector<TagUsage> memoryUsageByTag();  // sorted by tag
// Frees of a pointer that was not a live block: never handed out, or freed
// already. They are left alone, counted and named in the leak report.
std::size_t badFreeCount();
void forgetBadFrees();  // for tests that free a stranger on purpose
std::string leakReport();  // empty when no block is live and no free went astray

// Fault injection. The Nth allocation from now (1 = the next) fails; 0 turns it off.
void failAllocationNumber(std::size_t n);
// Every allocation whose tag equals `tag` fails; empty turns it off.
void failAllocationsTagged(const std::string& tag);
void clearAllocationFaults();

}  // namespace pictra::host
