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
// The most bytes live at once since the last resetPeakByteCount() (which
// sets it to the bytes live then): what one load or save held at its peak.
std::size_t peakByteCount();
void resetPeakByteCount();
std::vector<TagUsage> memoryUsageByTag();  // sorted by tag
// Frees of a pointer that was not a live block: never handed out, or freed
// already. They are left alone, counted and named in the leak report.
std::size_t badFreeCount();
void forgetBadFrees();  // for tests that free a stranger on purpose
std::string leakReport();  // empty when no block is live and no free went astray

// Makes the C library keep freed memory for the next allocations rather
// than give it back to the system: a process that loads many icons takes
// and frees picture-sized blocks all the time, and each fresh mapping costs
// page faults and the system's clearing of every page. Blocks from
// `largestHeapBlock` bytes on are still mapped on their own and unmapped
// when freed: the larger it is, the more freed blocks the heap holds
// between loads, and the higher a single load's peak. Call it before the
// first allocation.
void keepFreedMemory(int largestHeapBlock);
// The tool's choice: pictures up to 512 x 512 come warm (their 1 MiB of
// words plus the block headers of the host and the C library), and the
// peak memory of a load stays where it was.
inline constexpr int kToolHeapBlock = (1 << 20) + (64 << 10);

// Fault injection. The Nth allocation from now (1 = the next) fails; 0 turns it off.
void failAllocationNumber(std::size_t n);
// Every allocation whose tag equals `tag` fails; empty turns it off.
void failAllocationsTagged(const std::string& tag);
void clearAllocationFaults();

}  // namespace pictra::host
