// The checked reading helpers every format reader stands on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_formats.h"
#include "frame/bytes.h"
#include "frame/reader.h"
#include "frame/sizes.h"
#include "frame/tool_types.h"

namespace {

namespace host = pictra::host;
using ReaderToolkitTest = pictra::test::ModuleUnitTest;

TEST_F(ReaderToolkitTest, StreamReadsStopAtTheEndAndNeverGoBack) {
    pictra::test::writeFile(path("in"), {1, 2, 3, 4, 5, 6, 7});
    StreamHandle in = host::openStream(path("in").c_str(), StreamModeRead);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(StreamBytesLeft(in), 7u);
    uint8_t buffer[8] = {};
    EXPECT_EQ(ReadExactly(in, buffer, 2), 1);
    EXPECT_EQ(StreamPosition(in), 2);
    EXPECT_EQ(StreamBytesLeft(in), 5u);
    EXPECT_EQ(SkipForward(in, 6), 0);  // one more than is left
    EXPECT_EQ(StreamPosition(in), 2);
    EXPECT_EQ(SkipForward(in, 3), 1);
    EXPECT_EQ(ReadExactly(in, buffer, 3), 0);  // only two are left
    EXPECT_EQ(StreamBytesLeft(in), 0u);
    EXPECT_EQ(ReadExactly(in, buffer, 0), 1);
    EXPECT_EQ(SkipForward(in, 0xFFFFFFFFu), 0);
    host::closeStream(in);
}

TEST_F(ReaderToolkitTest, BudgetsAndMemoryFieldsCheckBeforeTheyTake) {
    LengthBudget budget{10};
    EXPECT_EQ(TakeFromBudget(&budget, 11), 0);
    EXPECT_EQ(budget.left, 10u);
    EXPECT_EQ(TakeFromBudget(&budget, 10), 1);
    EXPECT_EQ(TakeFromBudget(&budget, 1), 0);

    // Fields are read only whole within the data; a refused read leaves the value.
    const uint8_t data[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    using Peek = int32_t (*)(const uint8_t*, uint32_t, uint32_t, uint32_t*);
    struct Case { Peek peek; uint32_t at; int32_t ok; uint32_t value; };
    const Case cases[] = {{PeekBE32, 2, 1, 0x56789ABCu}, {PeekLE32, 0, 1, 0x78563412u}, {PeekBE16, 4, 1, 0x9ABCu},
                          {PeekLE16, 4, 1, 0xBC9Au},     {PeekBE32, 3, 0, 7},           {PeekLE16, 5, 0, 7},
                          {PeekBE16, 0xFFFFFFFFu, 0, 7}};
    for (const Case& c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(c.peek(data, 6, c.at, &value), c.ok) << c.at;
        EXPECT_EQ(value, c.value) << c.at;
    }
    EXPECT_EQ(AllocArray(0x10000, 0x10000, 0, "pbuf"), nullptr);  // 2^32 overflows
    auto* block = static_cast<uint8_t*>(AllocArray(3, 4, 1, "pbuf"));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[11], 0);
    EXPECT_EQ(pictra::test::tagUsage("pbuf").liveBytes, 12u);
    host::freeMemory(block);
}

TEST_F(ReaderToolkitTest, ToolTypeBlockKeepsEveryTextAndItsClosingEmptyText) {
    ToolTypeBlock block{};
    EXPECT_EQ(TakeToolTypes(&block), nullptr);
    // Empty texts are kept and counted; a NUL inside the bytes ends the text.
    const std::vector<std::string> texts = {"ICON=1", "", std::string("AB\0CD", 5), std::string(300, 'x')};
    for (const std::string& text : texts)
        ASSERT_EQ(AppendToolType(&block, text.data(), static_cast<uint32_t>(text.size())), 1);
    EXPECT_EQ(block.count, 4u);
    char* all = TakeToolTypes(&block);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(block.texts, nullptr);
    const std::string expected = std::string("ICON=1\0\0AB\0", 11) + std::string(300, 'x') + std::string("\0\0", 2);
    EXPECT_EQ(std::string(all, expected.size()), expected);
    EXPECT_EQ(pictra::test::tagUsage("tooltypes").liveBlocks, 1u);
    host::freeMemory(all);

    // A failed growth keeps what the block had, still well-formed.
    ASSERT_EQ(AppendToolType(&block, "A", 1), 1);
    host::failAllocationsTagged("tooltypes");
    EXPECT_EQ(AppendToolType(&block, std::string(1000, 'y').data(), 1000), 0);
    host::failAllocationsTagged("");
    EXPECT_EQ(block.count, 1u);
    EXPECT_EQ(std::string(block.texts, 3), std::string("A\0\0", 3));
    ReleaseToolTypes(&block);
    EXPECT_EQ(block.texts, nullptr);
}

}  // namespace
