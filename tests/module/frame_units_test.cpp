// Frame helpers compiled into the test: CRC table and identifiers, byte-order
// helpers over real host streams, the scratch buffer and the image bridges.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/crc.h"
#include "frame/formats.h"
#include "frame/image_bridge.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "frame/stream_io.h"
#include "model/icon_image.h"
#include "units_fixture.h"

namespace {

using pictra::test::Bytes;
namespace host = pictra::host;

class FrameTest : public pictra::test::ModuleUnitTest {
protected:
    std::size_t allocationsTagged(const std::string& tag) {
        for (const auto& usage : host::memoryUsageByTag())
            if (usage.tag == tag) return usage.allocations;
        return 0;
    }
};

TEST_F(FrameTest, CrcMatchesTheBitwiseDefinition) {
    EXPECT_EQ(CrcTable[0], 0u);
    EXPECT_EQ(CrcTable[128], 0xEDB88320u);
    for (int byte = 1; byte < 256; ++byte) {
        const char text[2] = {static_cast<char>(byte), 0};
        EXPECT_EQ(UpdateCrcText(0xFFFFFFFFu, text) ^ 0xFFFFFFFFu, pictra::test::bitwiseCrc32(text))
            << byte;
    }
    // The published check value of CRC-32.
    EXPECT_EQ(UpdateCrcText(0xFFFFFFFFu, "123456789") ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(ComputeFormatId(""), pictra::test::bitwiseCrc32("pictra/"));
}

TEST_F(FrameTest, FormatIdsHashTheDescriptionsAndEndWithZero) {
    for (int i = 0; i < FormatCount; ++i) {
        EXPECT_EQ(FormatIds[i], pictra::test::bitwiseCrc32(std::string("pictra/") +
                                                           IconFormats[i].description));
        EXPECT_EQ(FindFormatIndex(FormatIds[i]), i);
    }
    EXPECT_EQ(FormatIds[FormatCount], 0u);
    EXPECT_EQ(FindFormatIndex(0), -1);
    EXPECT_EQ(IconFormats[FormatCount].name, nullptr);
}

TEST_F(FrameTest, ReadHelpersTakeBytesInTheirOrderAndZeroPastTheEnd) {
    pictra::test::writeFile(path("in"), {0xFF, 0xFE, 0xFF, 0xFE, 1, 2, 3, 4, 1, 2, 3, 4, 0xAB});
    StreamHandle in = host::openStream(path("in").c_str(), StreamModeRead);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(ReadBE16(in), 65534u);
    EXPECT_EQ(ReadLE16(in), 65279u);
    EXPECT_EQ(ReadBE32(in), 0x01020304u);
    EXPECT_EQ(ReadLE32(in), 0x04030201u);
    EXPECT_EQ(ReadBE32(in), 0xAB000000u);  // one byte left, three read past the end
    EXPECT_EQ(ReadLE16(in), 0u);
    host::closeStream(in);
}

TEST_F(FrameTest, WriteHelpersPutBytesInTheirOrder) {
    StreamHandle out = host::openStream(path("out").c_str(), StreamModeNewFile);
    ASSERT_NE(out, nullptr);
    WriteLE32(out, 0x00010000u);
    WriteBE32(out, 0x11223344u);
    WriteBE16(out, 0xABCD1234u);  // only the low 16 bits
    WriteLE16(out, 0x1234u);
    host::closeStream(out);
    EXPECT_EQ(pictra::test::readFile(path("out")),
              (Bytes{0x00, 0x00, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x12, 0x34, 0x34, 0x12}));
}

TEST_F(FrameTest, MultiplySizeRefusesProductsBeyond32Bits) {
    uint32_t product = 7;
    EXPECT_EQ(MultiplySize(65535, 65537, &product), 1);
    EXPECT_EQ(product, 0xFFFFFFFFu);
    EXPECT_EQ(MultiplySize(65536, 65536, &product), 0);
    EXPECT_EQ(MultiplySize(0, 0xFFFFFFFFu, &product), 1);
    EXPECT_EQ(product, 0u);
    EXPECT_EQ(MultiplySize(0x80000000u, 2, &product), 0);
}

TEST_F(FrameTest, ScratchIsReusedOnlyWhileLargerThanNeeded) {
    int32_t capacity = 0;
    void* block = ReserveScratch(nullptr, 100, &capacity);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(capacity, 100);
    std::size_t before = allocationsTagged("pbuf");
    EXPECT_EQ(ReserveScratch(block, 50, &capacity), block);
    EXPECT_EQ(allocationsTagged("pbuf"), before);

    // Equal to the capacity is not enough: a fresh block is taken.
    block = ReserveScratch(block, 100, &capacity);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(allocationsTagged("pbuf"), before + 1);
    EXPECT_EQ(capacity, 100);
    EXPECT_EQ(host::liveBlockCount(), 1u);

    // A failed growth loses the old block and keeps the old capacity.
    host::failAllocationsTagged("pbuf");
    EXPECT_EQ(ReserveScratch(block, 200, &capacity), nullptr);
    EXPECT_EQ(capacity, 100);
    EXPECT_EQ(host::liveBlockCount(), 0u);
}

TEST_F(FrameTest, PngWrittenByTheModuleDecodesToTheSamePixels) {
    IconImage* head = nullptr;
    IconImage* tail = nullptr;
    IconImage* image = AllocIconImage(3, 2, 32, 0, 0, &head, &tail);
    ASSERT_NE(image, nullptr);
    const uint32_t pixels[6] = {0xFF112233, 0x00000000, 0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0x40FFFFFF};
    std::memcpy(image->pixels, pixels, sizeof pixels);

    StreamHandle out = host::openStream(path("a.png").c_str(), StreamModeNewFile);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WritePngImage(out, image), 1);
    host::closeStream(out);
    Bytes png = pictra::test::readFile(path("a.png"));
    ASSERT_GT(png.size(), 12u);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 4), (Bytes{0x89, 'P', 'N', 'G'}));

    ASSERT_EQ(DecodeImageBlock(png.data(), static_cast<uint32_t>(png.size()), "png", &head, &tail), 1);
    ASSERT_EQ(image->next, tail);
    EXPECT_EQ(tail->width, 3);
    EXPECT_EQ(tail->height, 2);
    EXPECT_EQ(tail->depth, 32);
    EXPECT_EQ(std::memcmp(tail->pixels, pixels, sizeof pixels), 0);
    FreeIconImage(tail);
    FreeIconImage(image);
}

TEST_F(FrameTest, DecodeImageBlockFailsCleanly) {
    IconImage* head = nullptr;
    IconImage* tail = nullptr;
    const Bytes garbage = {0x89, 'P', 'N', 'G', 0, 1, 2, 3};
    EXPECT_EQ(DecodeImageBlock(garbage.data(), 8, "png", &head, &tail), 0);
    EXPECT_EQ(head, nullptr);

    // A valid image whose picture cannot be allocated: the decoded image is
    // released and nothing is linked.
    IconImage* source = AllocIconImage(2, 2, 32, 0, 0, &head, &tail);
    ASSERT_NE(source, nullptr);
    StreamHandle out = host::openStream(path("b.png").c_str(), StreamModeNewFile);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(WritePngImage(out, source), 1);
    host::closeStream(out);
    Bytes png = pictra::test::readFile(path("b.png"));
    host::failAllocationsTagged("ic");
    EXPECT_EQ(DecodeImageBlock(png.data(), static_cast<uint32_t>(png.size()), "png", &head, &tail), 0);
    host::clearAllocationFaults();
    EXPECT_EQ(source->next, nullptr);
    FreeIconImage(source);
}

}  // namespace
