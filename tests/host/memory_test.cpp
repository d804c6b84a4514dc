// Tagged memory through the System table: accounting, faults, leak report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "host/memory.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::tagUsage;

class MemoryTest : public test::LeakCheckedTest {
protected:
    const SystemTable& system = *test::services().system;
};

TEST_F(MemoryTest, CountsBlocksAndBytesPerTagAndCopiesTheTag) {
    char transient[] = "mt-count";
    void* a = system.AllocMemory(100, 0, transient);
    std::strcpy(transient, "mt-other");  // the caller's text changes afterwards
    void* b = system.AllocMemory(28, 1, "mt-count");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(liveBlockCount(), 2u);
    EXPECT_EQ(liveByteCount(), 128u);
    TagUsage usage = tagUsage("mt-count");
    EXPECT_EQ(usage.liveBlocks, 2u);
    EXPECT_EQ(usage.liveBytes, 128u);
    EXPECT_EQ(usage.allocations, 2u);
    EXPECT_EQ(tagUsage("mt-other").allocations, 0u);

    // Unknown and already freed pointers change nothing but are counted and
    // reported; null is no fault.
    int local = 0;
    system.FreeMemory(&local);
    system.FreeMemory(nullptr);
    system.FreeMemory(a);
    system.FreeMemory(a);
    EXPECT_EQ(liveBlockCount(), 1u);
    EXPECT_EQ(badFreeCount(), 2u);
    EXPECT_NE(leakReport().find("2 free(s) of a block that was not live"), std::string::npos);
    forgetBadFrees();
    system.FreeMemory(b);
    usage = tagUsage("mt-count");
    EXPECT_EQ(usage.liveBlocks, 0u);
    EXPECT_EQ(usage.liveBytes, 0u);
    EXPECT_EQ(usage.allocations, 2u);
}

TEST_F(MemoryTest, BlocksAreAlignedClearedOnRequestAndSizeZeroIsUnique) {
    void* zeroA = system.AllocMemory(0, 0, "mt-zero");
    void* zeroB = system.AllocMemory(0, 0, "mt-zero");
    auto* cleared = static_cast<uint8_t*>(system.AllocMemory(1000, 1, "mt-zero"));
    ASSERT_NE(zeroA, nullptr);
    ASSERT_NE(zeroB, nullptr);
    ASSERT_NE(cleared, nullptr);
    EXPECT_NE(zeroA, zeroB);
    for (void* p : {zeroA, zeroB, static_cast<void*>(cleared)})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(std::count(cleared, cleared + 1000, 0), 1000);
    for (void* p : {zeroA, zeroB, static_cast<void*>(cleared)}) system.FreeMemory(p);
}

TEST_F(MemoryTest, FaultsHitTheNthAllocationOnceOrEveryOneOfATag) {
    failAllocationNumber(3);
    void* blocks[4];
    for (void*& block : blocks) block = system.AllocMemory(8, 0, "mt-nth");
    EXPECT_NE(blocks[0], nullptr);
    EXPECT_NE(blocks[1], nullptr);
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    EXPECT_EQ(tagUsage("mt-nth").allocations, 3u);  // the failed one is not counted
    for (void* p : blocks) system.FreeMemory(p);

    failAllocationsTagged("mt-bad");
    EXPECT_EQ(system.AllocMemory(8, 0, "mt-bad"), nullptr);
    EXPECT_EQ(system.AllocMemory(16, 1, "mt-bad"), nullptr);
    void* good = system.AllocMemory(8, 0, "mt-good");
    EXPECT_NE(good, nullptr);
    system.FreeMemory(good);
    failAllocationsTagged("");
    void* again = system.AllocMemory(8, 0, "mt-bad");
    EXPECT_NE(again, nullptr);
    system.FreeMemory(again);
}

TEST_F(MemoryTest, LeakReportNamesTheLiveTagAndEmptiesWhenFreed) {
    ASSERT_EQ(leakReport(), "");
    void* leak = system.AllocMemory(42, 0, "mt-leak");
    const std::string report = leakReport();
    EXPECT_NE(report.find("mt-leak"), std::string::npos) << report;
    EXPECT_NE(report.find("42"), std::string::npos) << report;
    system.FreeMemory(leak);
    EXPECT_EQ(leakReport(), "");
}

}  // namespace
}  // namespace pictra::host
