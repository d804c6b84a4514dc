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
    const bool windows = layout == BitMaskBottomUpPadded;
    const size_t width = rows[0].size(), rowBytes = windows ? (width + 31) / 32 * 4 : (width + 7) / 8;
    std::vector<uint8_t> bytes(rowBytes * rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t x = 0; x < width; ++x)
            if ((rows[windows ? rows.size() - 1 - i : i][x] == '#') == windows)
                bytes[i * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return bytes;
}

// Applies the mask of `shape` to a picture of `depth` holding `values` (pens,
// or words for depth 32; palette entry n is n * 0x010101): the transparent
// pixels, pen, depth and pixels afterwards; pen -2 when the routine failed.
struct Applied {
    Rows shown;
    int32_t pen, depth;
    std::vector<uint32_t> pixels;
};
Applied apply(const Rows& shape, int32_t layout, int32_t depth, const std::vector<uint32_t>& values,
              uint32_t length = 0xFFFFFFFF) {
    const auto width = static_cast<int32_t>(shape[0].size()), height = static_cast<int32_t>(shape.size());
    IconImage *head = nullptr, *tail = nullptr;
    IconImage* image = AllocIconImage(width, height, depth, -1, 0, &head, &tail);
    for (size_t i = 0; i < values.size(); ++i) {
        if (depth <= 8) static_cast<uint8_t*>(image->pixels)[i] = static_cast<uint8_t>(values[i]);
        else static_cast<uint32_t*>(image->pixels)[i] = values[i];
    }
    for (uint32_t pen = 0; image->palette && pen < 256; ++pen) image->palette[pen] = pen * 0x010101u;
    const std::vector<uint8_t> mask = encodeMask(shape, layout);
    Applied result{{}, -2, 0, {}};
    if (ApplyBitMask(mask.data(), std::min<uint32_t>(length, static_cast<uint32_t>(mask.size())), image, layout)) {
        result.pen = image->transparentPen;
        result.depth = image->depth;
        for (int32_t i = 0; i < width * height; ++i) {
            const uint32_t v = image->depth <= 8 ? static_cast<uint8_t*>(image->pixels)[i]
                                                 : static_cast<uint32_t*>(image->pixels)[i];
            result.pixels.push_back(v);
            if (i % width == 0) result.shown.emplace_back();
            result.shown.back() += (image->depth <= 8 ? static_cast<int32_t>(v) == result.pen : v >> 24 == 0) ? '#' : '.';
        }
    }
    FreeIconImage(head);
    return result;
}

// Both layouts are read below; row-pad boundaries at odd widths are held
// against Pillow, icotool and icns2png by the Windows and macOS peer tests.
TEST_F(BitMaskTest, TransparentPenIsFreeOrOnlyBehindTheMaskOrMadeByWidening) {
    std::vector<uint32_t> sixteen(32, 3), all(512);
    for (uint32_t i = 0; i < 16; ++i) sixteen[16 + i] = i;
    for (uint32_t i = 0; i < 512; ++i) all[i] = i % 256;
    const Rows small = {"##..", "...."}, wide = {"#" + std::string(15, '.'), std::string(16, '.')};
    const Rows full = {"#" + std::string(255, '.'), std::string(256, '.')};
    struct Case {
        const char* what;
        Rows shape;
        int32_t depth;
        std::vector<uint32_t> values;
        int32_t pen, depthAfter;
    } cases[] = {
        {"smallest pen no pixel holds", small, 4, {0, 1, 2, 4, 0, 1, 2, 4}, 3, 4},
        {"pen held only behind the mask", small, 1, {1, 1, 0, 0, 0, 0, 0, 0}, 1, 1},
        {"a free pen before one held behind the mask", small, 4, {5, 1, 0, 2, 3, 4, 6, 7}, 8, 4},
        {"both 1-bit pens opaque: 4 bits", small, 1, {0, 1, 0, 1, 1, 0, 1, 0}, 2, 4},
        {"all 2-bit pens opaque: 4 bits", small, 2, {0, 1, 2, 3, 0, 1, 2, 3}, 4, 4},
        {"all 16 pens opaque: 8 bits", wide, 4, sixteen, 16, 8},
        {"all 256 pens opaque: true colour", full, 8, all, -1, 32},
        {"no transparent bit: no pen", Rows(2, "...."), 4, {0, 1, 2, 4, 0, 1, 2, 4}, -1, 4},
    };
    for (const Case& c : cases) {
        Applied a = apply(c.shape, c.pen == 16 ? BitMaskTopDownPacked : BitMaskBottomUpPadded, c.depth, c.values);
        EXPECT_EQ(a.pen, c.pen) << c.what;
        EXPECT_EQ(a.depth, c.depthAfter) << c.what;
        EXPECT_EQ(a.shown, c.shape) << c.what;
        for (size_t i = 0; i < c.values.size(); ++i) {  // opaque pixels keep their colour
            if (c.shape[i / c.shape[0].size()][i % c.shape[0].size()] == '#') continue;
            ASSERT_EQ(a.pixels[i], a.depth == 32 ? 0xFF000000u | c.values[i] * 0x010101u : c.values[i]) << c.what << i;
        }
    }
    // Widening to true colour that cannot allocate fails.
    pictra::host::failAllocationNumber(4);  // picture, pixels, palette, then the 32-bit pixels
    EXPECT_EQ(apply(full, BitMaskBottomUpPadded, 8, all).pen, -2);
}

}  // namespace
