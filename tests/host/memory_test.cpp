// Tagged memory through the System table: accounting, faults, leak report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "host/memory.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::tagUsage;

class MemoryTest : public test::LeakCheckedTest {
protected:
    const SystemTable& system = *test::services().system;
};

std::tuple<std::size_t, std::size_t, std::size_t> usage(const char* tag) {
    const TagUsage u = tagUsage(tag);
    return {u.liveBlocks, u.liveBytes, u.allocations};
}

TEST_F(MemoryTest, CountsBlocksAndBytesPerTagReportsLeaksAndBadFrees) {
    char transient[] = "mt-count";
    void* a = system.AllocMemory(100, 0, transient);
    std::strcpy(transient, "mt-other");  // the caller's text changes afterwards
    void* b = system.AllocMemory(28, 1, "mt-count");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::make_pair(liveBlockCount(), liveByteCount()), std::make_pair(std::size_t{2}, std::size_t{128}));
    EXPECT_EQ(usage("mt-count"), std::make_tuple(2u, 128u, 2u));
    EXPECT_EQ(tagUsage("mt-other").allocations, 0u);
    const std::string report = leakReport();
    EXPECT_NE(report.find("mt-count"), std::string::npos) << report;
    EXPECT_NE(report.find("128"), std::string::npos) << report;

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
    EXPECT_EQ(usage("mt-count"), std::make_tuple(0u, 0u, 2u));
    EXPECT_EQ(leakReport(), "");
}

TEST_F(MemoryTest, FaultsHitTheNthAllocationOnceOrEveryOneOfATag) {
    failAllocationNumber(3);
    void* blocks[4];
    for (void*& block : blocks) block = system.AllocMemory(8, 0, "mt-nth");
    EXPECT_EQ((std::vector<bool>{!blocks[0], !blocks[1], !blocks[2], !blocks[3]}),
              (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(tagUsage("mt-nth").allocations, 3u);  // the failed one is not counted
    for (void* p : blocks) system.FreeMemory(p);

    failAllocationsTagged("mt-bad");
    EXPECT_EQ(system.AllocMemory(16, 1, "mt-bad"), nullptr);
    void* good = system.AllocMemory(8, 0, "mt-good");
    EXPECT_NE(good, nullptr);
    failAllocationsTagged("");
    void* again = system.AllocMemory(8, 0, "mt-bad");
    EXPECT_NE(again, nullptr);
    system.FreeMemory(good);
    system.FreeMemory(again);
}

}  // namespace
}  // namespace pictra::host
