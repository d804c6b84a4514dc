// Frame helpers compiled into the test: size checks, budgets and field
// reads, the scratch buffer, the tool-type block and the image bridges. The
// CRC is checked through the format identifiers (module_entry_test); the
// byte-order helpers by the Windows and macOS suites, which load and save
// their whole corpus; stream reads at the end of a file, and a tool-type
// block whose growth fails, by the damage sweep (every cut length, every
// allocation failing, nothing left live).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fake_formats.h"
#include "frame/bytes.h"
#include "frame/image_bridge.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "frame/tool_types.h"
#include "model/icon_image.h"

namespace {

using pictra::test::Bytes;
using pictra::test::tagUsage;
namespace host = pictra::host;

using FrameTest = pictra::test::ModuleUnitTest;

TEST_F(FrameTest, SizesBudgetsFieldsAndScratchCheckBeforeTheyTake) {
    uint32_t product = 7;
    EXPECT_EQ(MultiplySize(65535, 65537, &product), 1);
    EXPECT_EQ(product, 0xFFFFFFFFu);
    EXPECT_EQ(MultiplySize(65536, 65536, &product), 0);
    EXPECT_EQ(MultiplySize(0x80000000u, 2, &product), 0);

    Scratch scratch{};
    void* block = ReserveScratch(&scratch, 100);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ReserveScratch(&scratch, 50), block);
    // A failed growth loses the old block and empties the scratch, so the
    // next reserve cannot hand out the block that is gone.
    host::failAllocationsTagged("pbuf");
    EXPECT_EQ(ReserveScratch(&scratch, 200), nullptr);
    EXPECT_EQ(ReserveScratch(&scratch, 50), nullptr);
    EXPECT_EQ(tagUsage("pbuf").liveBytes, 0u);
    host::clearAllocationFaults();
    ASSERT_NE(ReserveScratch(&scratch, 0x10000), nullptr);
    EXPECT_EQ(scratch.capacity, 0x10000u);
    ReleaseScratch(&scratch);
    EXPECT_EQ(scratch.block, nullptr);

    LengthBudget budget{10};
    EXPECT_EQ(TakeFromBudget(&budget, 11), 0);
    EXPECT_EQ(budget.bytes, 10u);
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
    // A sink refuses a put that does not fit and every put after it; one
    // without a block counts what would have been put.
    uint8_t out[7] = {};
    ByteSink sink{out, 7, 0, false};
    PutBE16(&sink, 0x1234);
    PutLE32(&sink, 0x9ABCDEF0u);
    PutBE16(&sink, 0x5678);
    PutByte(&sink, 0x42);
    EXPECT_TRUE(sink.full);
    EXPECT_EQ(sink.used, 6u);
    EXPECT_EQ(Bytes(out, out + 7), (Bytes{0x12, 0x34, 0xF0, 0xDE, 0xBC, 0x9A, 0}));
    ByteSink measure{nullptr, 0xFFFFFFFFu, 0, false};
    PutLE16(&measure, 1);
    PutBytes(&measure, out, 7);
    EXPECT_FALSE(measure.full);
    EXPECT_EQ(measure.used, 9u);

    EXPECT_EQ(AllocArray(0x10000, 0x10000, 0, "pbuf"), nullptr);  // 2^32 overflows
    auto* array = static_cast<uint8_t*>(AllocArray(3, 4, 1, "pbuf"));
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[11], 0);
    EXPECT_EQ(tagUsage("pbuf").liveBytes, 12u);
    host::freeMemory(array);
}

TEST_F(FrameTest, ToolTypeBlockKeepsEveryTextAndItsClosingEmptyText) {
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
    EXPECT_EQ(tagUsage("tooltypes").liveBlocks, 1u);
    host::freeMemory(all);
}

TEST_F(FrameTest, PngWrittenByTheModuleDecodesToTheSamePixelsOrFailsCleanly) {
    IconImage *head = nullptr, *tail = nullptr;
    IconImage* image = AllocIconImage(nullptr, 3, 2, 32, 0, 0, &head, &tail);
    ASSERT_NE(image, nullptr);
    const uint32_t pixels[6] = {0xFF112233, 0x00000000, 0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0x40FFFFFF};
    std::memcpy(image->pixels, pixels, sizeof pixels);
    StreamHandle out = host::openStream(path("a.png").c_str(), StreamModeNewFile);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WritePngImage(out, image), 1);
    host::closeStream(out);
    Bytes png = pictra::test::readFile(path("a.png"));
    ASSERT_GT(png.size(), 12u);
    const auto size = static_cast<uint32_t>(png.size());
    // Whole, to the last byte of the plain IEND chunk.
    EXPECT_EQ(Bytes(png.end() - 12, png.end()), (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));

    ASSERT_EQ(DecodeImageBlock(nullptr, png.data(), size, "png", &head, &tail), PictureMade);
    ASSERT_EQ(image->next, tail);
    EXPECT_EQ(std::make_tuple(tail->width, tail->height, tail->depth, tail->transparentPen, tail->flags),
              std::make_tuple(3, 2, 32, 0, 0u));
    EXPECT_EQ(std::memcmp(tail->pixels, pixels, sizeof pixels), 0);
    FreeIconImage(tail);
    image->next = nullptr;
    tail = image;

    // Data that does not decode, and a valid image whose picture cannot be
    // allocated: the decoded image is released and nothing is linked.
    const Bytes garbage = {0x89, 'P', 'N', 'G', 0, 1, 2, 3};
    EXPECT_EQ(DecodeImageBlock(nullptr, garbage.data(), 8, "png", &head, &tail), PictureLeftOut);
    host::failAllocationsTagged("ic");
    EXPECT_EQ(DecodeImageBlock(nullptr, png.data(), size, "png", &head, &tail), PictureFailed);
    host::clearAllocationFaults();
    EXPECT_EQ(image->next, nullptr);
    EXPECT_EQ(tail, image);
    FreeIconImage(image);
}

// When the host cannot encode, nothing reaches the stream and the memory
// output is closed (the fixture counts live streams).
TEST_F(FrameTest, FailedPngWritesLeaveNothingOpenOrWritten) {
    IconImage *head = nullptr, *tail = nullptr;
    ASSERT_NE(AllocIconImage(nullptr, 0, 2, 32, 0, 0, &head, &tail), nullptr);  // nothing to encode
    ASSERT_NE(AllocIconImage(nullptr, 2, 2, 8, 0, 0, &head, &tail), nullptr);   // a palette picture
    StreamHandle out = host::openStream(path("none.png").c_str(), StreamModeNewFile);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WritePngImage(out, head), 0);
    EXPECT_EQ(WritePngImage(out, tail), 0);
    EXPECT_EQ(host::streamCounters().liveStreams, 1u);
    host::closeStream(out);
    EXPECT_EQ(pictra::test::readFile(path("none.png")), Bytes{});
    FreeIconImage(tail);
    FreeIconImage(head);
}

}  // namespace
