// The colour rows of icon bitmaps, compiled straight from the module: row
// lengths, every bit count at odd widths, and clipping at both ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "windows/bitmap_rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(BitmapRows, RowsArePaddedToFourBytes) {
    struct Case {
        int32_t width, bitCount;
        uint32_t bytes;
    } cases[] = {{1, 1, 4},  {20, 1, 4},  {33, 1, 8},  {1, 4, 4},   {9, 4, 8},    {5, 8, 8},
                 {4, 8, 4},  {1, 24, 4},  {3, 24, 12}, {5, 24, 16}, {1, 32, 4},   {256, 32, 1024},
                 {0, 8, 0},  {256, 1, 32}};
    for (const Case& c : cases) {
        uint32_t bytes = 0;
        ASSERT_EQ(BitmapRowBytes(c.width, c.bitCount, &bytes), 1);
        EXPECT_EQ(bytes, c.bytes) << c.width << " x " << c.bitCount;
    }
    uint32_t bytes = 0;
    EXPECT_EQ(BitmapRowBytes(0x7FFFFFFF, 32, &bytes), 0);
    EXPECT_EQ(BitmapRowBytes(-1, 8, &bytes), 0);
}

// Encoding then decoding gives the pens back, cut to the bit count, and
// every pad byte is zero, at every width from 1 to 33.
TEST(BitmapRows, EveryBitCountRoundTripsAtOddWidths) {
    for (int32_t bitCount : {1, 4, 8, 32}) {
        for (int32_t width = 1; width <= 33; ++width) {
            SCOPED_TRACE(testing::Message() << bitCount << " bits, width " << width);
            const int32_t height = 3;
            const std::size_t count = static_cast<std::size_t>(width * height);
            Bytes pens(count);
            std::vector<uint32_t> words(count);
            for (std::size_t i = 0; i < count; ++i) {
                pens[i] = static_cast<uint8_t>(i * 37 + 11);
                words[i] = static_cast<uint32_t>(i) * 0x01030507u + 0x10203040u;
            }
            std::vector<uint32_t> palette(256);
            IconImage image{nullptr, nullptr, width, height, 0, nullptr, -1, bitCount == 32 ? 32 : 8, 0};
            image.pixels = bitCount == 32 ? static_cast<void*>(words.data()) : pens.data();
            image.palette = bitCount == 32 ? nullptr : palette.data();

            uint32_t rowBytes = 0;
            ASSERT_EQ(BitmapRowBytes(width, bitCount, &rowBytes), 1);
            Bytes stored(rowBytes * height + 5, 0xEE);
            ASSERT_EQ(EncodeBitmapRows(&image, bitCount, stored.data(), static_cast<uint32_t>(stored.size())),
                      rowBytes * height);
            EXPECT_EQ(stored.back(), 0xEE);  // nothing written past the rows
            const uint32_t used = static_cast<uint32_t>((width * bitCount + 7) / 8);
            for (int32_t row = 0; row < height; ++row)
                for (uint32_t b = used; b < rowBytes; ++b) EXPECT_EQ(stored[row * rowBytes + b], 0) << row;
            if (bitCount < 8 && width * bitCount % 8 != 0) {
                const uint8_t last = stored[used - 1];
                EXPECT_EQ(last & ((1u << (8 - width * bitCount % 8)) - 1), 0u);  // unused low bits
            }

            const std::size_t pixelSize = bitCount == 32 ? 4 : 1;
            Bytes decoded(count * pixelSize);
            ASSERT_EQ(DecodeBitmapRows(stored.data(), rowBytes * height, bitCount, width, height, 0, decoded.data(),
                                       static_cast<uint32_t>(decoded.size())),
                      1);
            for (std::size_t i = 0; i < count; ++i) {
                if (bitCount == 32) {
                    uint32_t word = 0;
                    std::memcpy(&word, decoded.data() + 4 * i, 4);
                    ASSERT_EQ(word, words[i]) << i;
                } else {
                    ASSERT_EQ(decoded[i], pens[i] & ((1u << bitCount) - 1)) << i;
                }
            }
        }
    }
}

TEST(BitmapRows, TwentyFourBitsAreOpaqueAndRowsStoredBottomUp) {
    // 2 x 2: bottom row first, 6 bytes and 2 pad bytes per row.
    const Bytes stored = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    uint32_t pixels[4] = {};
    ASSERT_EQ(DecodeBitmapRows(stored.data(), 16, 24, 2, 2, 0, pixels, sizeof pixels), 1);
    EXPECT_EQ(pixels[0], 0xFF090807u);
    EXPECT_EQ(pixels[3], 0xFF060504u);
    ASSERT_EQ(DecodeBitmapRows(stored.data(), 16, 24, 2, 2, 1, pixels, sizeof pixels), 1);
    EXPECT_EQ(pixels[0], 0xFF030201u);
}

TEST(BitmapRows, ShortSourcesAndDestinationsAreClipped) {
    const Bytes stored(4 * 3, 0xAB);  // 3 rows of 4 pixels, 8 bits
    Bytes pixels(12, 0);
    // Two whole rows present: the picture's two bottom rows.
    EXPECT_EQ(DecodeBitmapRows(stored.data(), 11, 8, 4, 3, 0, pixels.data(), 12), 0);
    EXPECT_EQ(pixels, (Bytes{0, 0, 0, 0, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB}));
    Bytes small(5, 0);
    EXPECT_EQ(DecodeBitmapRows(stored.data(), 12, 8, 4, 3, 0, small.data(), 5), 0);
    EXPECT_EQ(small, (Bytes{0xAB, 0xAB, 0xAB, 0xAB, 0}));
    EXPECT_EQ(DecodeBitmapRows(stored.data(), 12, 16, 4, 3, 0, pixels.data(), 12), 0);
    IconImage image{nullptr, pixels.data(), 4, 3, 0, nullptr, -1, 8, 0};
    Bytes out(11);
    EXPECT_EQ(EncodeBitmapRows(&image, 8, out.data(), 11), 0u);
    EXPECT_EQ(EncodeBitmapRows(&image, 32, out.data(), 11), 0u);  // palette pictures are not 32-bit
}

}  // namespace
