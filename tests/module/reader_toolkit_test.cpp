// The checked reading helpers every format reader stands on. Their stream
// reads at the end of a file, and a tool-type block whose growth fails, are
// the damage sweep's (every cut length, every allocation failing, nothing
// left live).
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
}

}  // namespace
