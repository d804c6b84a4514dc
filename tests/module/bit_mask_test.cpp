// The one-bit transparency mask shared by the Windows and macOS readers:
// both row layouts, the choice of the transparent pen and its fallbacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_formats.h"
#include "model/bit_mask.h"
#include "model/icon_image.h"

namespace {

using BitMaskTest = pictra::test::ModuleUnitTest;
using Rows = std::vector<std::string>;  // top row first; '#' transparent

// The mask of `rows` in `layout`, built bit by bit from the rows' meaning.
std::vector<uint8_t> encodeMask(const Rows& rows, int32_t layout) {
    const size_t width = rows.empty() ? 0 : rows[0].size();
    size_t rowBytes = (width + 7) / 8;
    if (layout == BitMaskBottomUpPadded) rowBytes = (rowBytes + 3) / 4 * 4;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& row = layout == BitMaskBottomUpPadded ? rows[rows.size() - 1 - i] : rows[i];
        std::vector<uint8_t> line(rowBytes, 0);
        for (size_t x = 0; x < width; ++x) {
            const bool set = layout == BitMaskBottomUpPadded ? row[x] == '#' : row[x] != '#';
            if (set) line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return bytes;
}

struct Picture {
    IconImage* head = nullptr;
    IconImage* tail = nullptr;
    ~Picture() {
        if (head) FreeIconImage(head);
    }
    IconImage* make(int32_t width, int32_t height, int32_t depth, const std::vector<uint32_t>& values) {
        IconImage* image = AllocIconImage(width, height, depth, -1, 0, &head, &tail);
        for (size_t i = 0; image && i < values.size(); ++i) {
            if (depth <= 8)
                static_cast<uint8_t*>(image->pixels)[i] = static_cast<uint8_t>(values[i]);
            else
                static_cast<uint32_t*>(image->pixels)[i] = values[i];
        }
        if (image && depth <= 8)
            for (uint32_t pen = 0; pen < 256; ++pen) image->palette[pen] = pen * 0x010101u;
        return image;
    }
};

uint32_t pixelAt(const IconImage* image, size_t i) {
    if (image->depth <= 8) return static_cast<const uint8_t*>(image->pixels)[i];
    return static_cast<const uint32_t*>(image->pixels)[i];
}

// Which pixels a loaded picture shows transparent, in the '#' notation.
Rows shownTransparent(const IconImage* image) {
    Rows rows;
    for (int32_t y = 0; y < image->height; ++y) {
        std::string row;
        for (int32_t x = 0; x < image->width; ++x) {
            const uint32_t value = pixelAt(image, static_cast<size_t>(y * image->width + x));
            const bool clear = image->depth <= 8 ? static_cast<int32_t>(value) == image->transparentPen
                                                 : (value >> 24) == 0;
            row += clear ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

TEST_F(BitMaskTest, ByteCountsFollowEachLayoutsRowPadding) {
    struct Case {
        int32_t width, height, layout;
        uint32_t bytes;
    } cases[] = {
        {1, 1, BitMaskBottomUpPadded, 4},    {8, 2, BitMaskBottomUpPadded, 8},
        {20, 3, BitMaskBottomUpPadded, 12},  {32, 1, BitMaskBottomUpPadded, 4},
        {33, 2, BitMaskBottomUpPadded, 16},  {256, 256, BitMaskBottomUpPadded, 8192},
        {1, 1, BitMaskTopDownPacked, 1},     {20, 3, BitMaskTopDownPacked, 9},
        {32, 32, BitMaskTopDownPacked, 128}, {0, 5, BitMaskTopDownPacked, 0},
    };
    for (const Case& c : cases) {
        uint32_t bytes = 7;
        ASSERT_EQ(BitMaskByteCount(c.width, c.height, c.layout, &bytes), 1) << c.width;
        EXPECT_EQ(bytes, c.bytes) << c.width << "x" << c.height << " layout " << c.layout;
    }
    uint32_t bytes = 7;
    EXPECT_EQ(BitMaskByteCount(0x7FFFFFFF, 0x7FFFFFFF, BitMaskBottomUpPadded, &bytes), 0);
    EXPECT_EQ(BitMaskByteCount(-1, 4, BitMaskTopDownPacked, &bytes), 0);
    EXPECT_EQ(bytes, 7u);
}

// Pixels at odd positions, across byte and row-pad boundaries, in both
// layouts; a mask cut short leaves the rest opaque.
TEST_F(BitMaskTest, EachLayoutMarksTheRightPixels) {
    const Rows shape = {
        "#........#..........",
        ".#......#.#........#",
        "..#####.....########",
    };
    for (int32_t layout : {BitMaskBottomUpPadded, BitMaskTopDownPacked}) {
        Picture picture;
        IconImage* image = picture.make(20, 3, 32, std::vector<uint32_t>(60, 0x00123456));
        const std::vector<uint8_t> mask = encodeMask(shape, layout);
        ASSERT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, layout), 1);
        EXPECT_EQ(shownTransparent(image), shape) << "layout " << layout;
        EXPECT_EQ(pixelAt(image, 1), 0xFF123456u);
        EXPECT_EQ(pixelAt(image, 0), 0x00123456u);
    }
    // Only the first stored row (the picture's last) and one byte of the next.
    Picture picture;
    IconImage* image = picture.make(20, 3, 4, std::vector<uint32_t>(60, 1));
    const std::vector<uint8_t> mask = encodeMask(Rows(3, std::string(20, '#')), BitMaskBottomUpPadded);
    ASSERT_EQ(ApplyBitMask(mask.data(), 5, image, BitMaskBottomUpPadded), 1);
    EXPECT_EQ(shownTransparent(image),
              (Rows{std::string(20, '.'), std::string(8, '#') + std::string(12, '.'), std::string(20, '#')}));
    const Rows shown = shownTransparent(image);
    EXPECT_EQ(ApplyBitMask(nullptr, 0, image, BitMaskBottomUpPadded), 1);  // adds nothing
    EXPECT_EQ(shownTransparent(image), shown);
}

TEST_F(BitMaskTest, TransparentPenIsFreeOrOnlyBehindTheMaskOrMadeByWidening) {
    const Rows shape = {"##..", "...."};
    struct Case {
        const char* what;
        int32_t depth;
        std::vector<uint32_t> pens;  // 4 x 2, top row first
        int32_t pen, depth_after;
    } cases[] = {
        {"smallest pen no pixel holds", 4, {0, 1, 2, 4, 0, 1, 2, 4}, 3, 4},
        {"pen held only behind the mask", 1, {1, 1, 0, 0, 0, 0, 0, 0}, 1, 1},
        {"a free pen before one held behind the mask", 4, {5, 1, 0, 2, 3, 4, 6, 7}, 8, 4},
        {"both 1-bit pens opaque: widened to 4 bits", 1, {0, 1, 0, 1, 1, 0, 1, 0}, 2, 4},
        {"all 2-bit pens opaque: widened to 4 bits", 2, {0, 1, 2, 3, 0, 1, 2, 3}, 4, 4},
    };
    for (const Case& c : cases) {
        Picture picture;
        IconImage* image = picture.make(4, 2, c.depth, c.pens);
        const std::vector<uint8_t> mask = encodeMask(shape, BitMaskBottomUpPadded);
        ASSERT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, BitMaskBottomUpPadded), 1);
        EXPECT_EQ(image->transparentPen, c.pen) << c.what;
        EXPECT_EQ(image->depth, c.depth_after) << c.what;
        EXPECT_EQ(shownTransparent(image), shape) << c.what;
        for (size_t i = 2; i < 8; ++i) EXPECT_EQ(pixelAt(image, i), c.pens[i]) << c.what << " pixel " << i;
    }
}

TEST_F(BitMaskTest, FullPalettesWidenAndEmptyMasksLeaveNoPen) {
    // 16 wide: all 16 pens of a 4-bit picture in the bottom row, one
    // transparent pixel above: the first 8-bit pen serves.
    std::vector<uint32_t> sixteen(32, 3);
    for (uint32_t i = 0; i < 16; ++i) sixteen[16 + i] = i;
    Rows shape = {"#" + std::string(15, '.'), std::string(16, '.')};
    {
        Picture picture;
        IconImage* image = picture.make(16, 2, 4, sixteen);
        const std::vector<uint8_t> mask = encodeMask(shape, BitMaskTopDownPacked);
        ASSERT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, BitMaskTopDownPacked), 1);
        EXPECT_EQ(image->depth, 8);
        EXPECT_EQ(image->transparentPen, 16);
        EXPECT_EQ(shownTransparent(image), shape);
    }
    // All 256 pens of an 8-bit picture opaque: a 32-bit picture with the
    // palette's colours and the mask as alpha.
    std::vector<uint32_t> all(512);
    for (uint32_t i = 0; i < 512; ++i) all[i] = i % 256;
    Rows big(2, std::string(256, '.'));
    big[1][300 - 256] = '#';
    big[0][7] = '#';
    {
        Picture picture;
        IconImage* image = picture.make(256, 2, 8, all);
        const std::vector<uint8_t> mask = encodeMask(big, BitMaskBottomUpPadded);
        ASSERT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, BitMaskBottomUpPadded), 1);
        EXPECT_EQ(image->depth, 32);
        EXPECT_EQ(image->palette, nullptr);
        EXPECT_EQ(shownTransparent(image), big);
        EXPECT_EQ(pixelAt(image, 5), 0xFF050505u);
        EXPECT_EQ(pixelAt(image, 7), 0x00070707u);
    }
    // No transparent bit: no pen, no pixel changed, even after a free pen
    // was available.
    {
        Picture picture;
        IconImage* image = picture.make(16, 2, 4, sixteen);
        image->transparentPen = 9;  // not held by any pixel any more
        std::fill(static_cast<uint8_t*>(image->pixels), static_cast<uint8_t*>(image->pixels) + 32, 2);
        const std::vector<uint8_t> mask = encodeMask(Rows(2, std::string(16, '.')), BitMaskBottomUpPadded);
        ASSERT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, BitMaskBottomUpPadded), 1);
        EXPECT_EQ(image->transparentPen, -1);
        EXPECT_EQ(image->depth, 4);
        EXPECT_EQ(pixelAt(image, 31), 2u);
    }
}

TEST_F(BitMaskTest, WideningThatCannotAllocateLeavesThePictureAlone) {
    std::vector<uint32_t> all(512);
    for (uint32_t i = 0; i < 512; ++i) all[i] = i % 256;
    Picture picture;
    IconImage* image = picture.make(256, 2, 8, all);
    const std::vector<uint8_t> mask =
        encodeMask({"#" + std::string(255, '.'), std::string(256, '.')}, BitMaskBottomUpPadded);
    pictra::host::failAllocationsTagged("icdata");
    EXPECT_EQ(ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, BitMaskBottomUpPadded), 0);
    pictra::host::clearAllocationFaults();
    EXPECT_EQ(image->depth, 8);
    EXPECT_EQ(image->transparentPen, -1);
    EXPECT_EQ(pixelAt(image, 0), 0u);
}

}  // namespace
