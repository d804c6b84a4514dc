// Tagged memory through the System table: accounting, faults, leak report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/memory.h"
#include "test_support.h"

namespace pictra::host {
namespace {

using test::services;

TagUsage usageOf(const std::string& tag) {
    for (const TagUsage& usage : memoryUsageByTag())
        if (usage.tag == tag) return usage;
    return TagUsage{tag};
}

class MemoryTest : public ::testing::Test {
protected:
    void TearDown() override { clearAllocationFaults(); }
    const SystemTable& system = *services().system;
};

TEST_F(MemoryTest, CountsBlocksAndBytesPerTagAndCopiesTheTag) {
    const std::size_t blocksBefore = liveBlockCount();
    const std::size_t bytesBefore = liveByteCount();
    char transient[] = "mt-count";
    void* a = system.AllocMemory(100, 0, transient);
    std::strcpy(transient, "mt-other");  // the caller's text changes afterwards
    void* b = system.AllocMemory(28, 1, "mt-count");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(liveBlockCount(), blocksBefore + 2);
    EXPECT_EQ(liveByteCount(), bytesBefore + 128);
    TagUsage usage = usageOf("mt-count");
    EXPECT_EQ(usage.liveBlocks, 2u);
    EXPECT_EQ(usage.liveBytes, 128u);
    EXPECT_EQ(usage.allocations, 2u);
    EXPECT_EQ(usageOf("mt-other").allocations, 0u);

    system.FreeMemory(a);
    system.FreeMemory(b);
    usage = usageOf("mt-count");
    EXPECT_EQ(usage.liveBlocks, 0u);
    EXPECT_EQ(usage.liveBytes, 0u);
    EXPECT_EQ(usage.allocations, 2u);
    EXPECT_EQ(liveBlockCount(), blocksBefore);
}

TEST_F(MemoryTest, BlocksAreAlignedClearedOnRequestAndSizeZeroIsUnique) {
    void* zeroA = system.AllocMemory(0, 0, "mt-zero");
    void* zeroB = system.AllocMemory(0, 0, "mt-zero");
    ASSERT_NE(zeroA, nullptr);
    ASSERT_NE(zeroB, nullptr);
    EXPECT_NE(zeroA, zeroB);
    auto* cleared = static_cast<uint8_t*>(system.AllocMemory(1000, 1, "mt-zero"));
    ASSERT_NE(cleared, nullptr);
    for (void* p : {zeroA, zeroB, static_cast<void*>(cleared)})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    int nonZero = 0;
    for (int i = 0; i < 1000; ++i) nonZero += cleared[i] != 0;
    EXPECT_EQ(nonZero, 0);
    system.FreeMemory(zeroA);
    system.FreeMemory(zeroB);
    system.FreeMemory(cleared);
    EXPECT_EQ(usageOf("mt-zero").liveBlocks, 0u);
}

TEST_F(MemoryTest, NthAllocationFailsOnceThenAllocationsSucceed) {
    failAllocationNumber(3);
    void* first = system.AllocMemory(8, 0, "mt-nth");
    void* second = system.AllocMemory(8, 0, "mt-nth");
    void* third = system.AllocMemory(8, 0, "mt-nth");
    void* fourth = system.AllocMemory(8, 0, "mt-nth");
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    EXPECT_EQ(usageOf("mt-nth").allocations, 3u);  // the failed one is not counted
    for (void* p : {first, second, fourth}) system.FreeMemory(p);
}

TEST_F(MemoryTest, EveryAllocationOfTheFaultyTagFails) {
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
    // Other tests leave nothing live, so the report starts empty.
    ASSERT_EQ(leakReport(), "");
    void* leak = system.AllocMemory(42, 0, "mt-leak");
    const std::string report = leakReport();
    EXPECT_NE(report.find("mt-leak"), std::string::npos) << report;
    EXPECT_NE(report.find("42"), std::string::npos) << report;
    system.FreeMemory(leak);
    EXPECT_EQ(leakReport(), "");
}

TEST_F(MemoryTest, FreeingAnUnknownOrNullPointerChangesNothing) {
    void* block = system.AllocMemory(8, 0, "mt-free");
    const std::size_t live = liveBlockCount();
    int local = 0;
    system.FreeMemory(&local);
    system.FreeMemory(nullptr);
    EXPECT_EQ(liveBlockCount(), live);
    system.FreeMemory(block);
    system.FreeMemory(block);  // a second free of the same block is ignored
    EXPECT_EQ(liveBlockCount(), live - 1);
}

}  // namespace
}  // namespace pictra::host
