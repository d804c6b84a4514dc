// ConvertPixels through the Image table: both modes and the pens. That a
// conversion repeats exactly is the damage sweep's (a save under a failing
// allocation that succeeds must give the clean save's bytes).
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "host_support.h"

namespace pictra::host {
namespace {

using test::services;

int32_t convert(const void* source, std::vector<uint8_t>& out, const ConvertJob& job, int32_t mode) {
    out.assign(std::size_t(job.width) * std::size_t(job.height), 0xEE);
    return services().image->ConvertPixels(source, out.data(), &job, mode, 0);
}

TEST(QuantiserTest, MapModeTakesTheNearestColourLowestIndexOnTiesNeverThePen) {
    std::array<uint32_t, 256> palette{};
    palette[0] = 0x000000;  // the pen, an exact match that must not be used
    palette[1] = 0x101010;
    palette[2] = 0xFF0000;
    palette[3] = 0x101010;  // duplicate of 1: the tie goes to 1
    const std::vector<uint32_t> pixels = {0xFF000000, 0xFFF01010, 0xFF111111, 0x00FF0000,
                                          0x7FFFFFFF, 0x80FF0000};
    ConvertJob job{6, 1, 32, 2, nullptr, palette.data(), -1, 0};
    std::vector<uint8_t> out;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertMapToPalette), 0);
    // alpha < 128 is transparent: pixels 3 and 4 take the pen; 5 (alpha 128) does not.
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 1, 0, 0, 2}));

    // Without a destination pen, transparent pixels are mapped by colour
    // (white is nearer pure red than dark grey).
    job.destinationTransparentPen = -1;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertMapToPalette), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 2, 1, 2, 2, 2}));
}

TEST(QuantiserTest, PaletteSourcesHonourTheSourcePen) {
    std::array<uint32_t, 256> source{};
    source[0] = 0xFFFFFF;
    source[1] = 0x0000F0;
    source[5] = 0xFFFFFF;  // same colour as index 0, but index 5 is the source pen
    std::array<uint32_t, 256> destination{};
    destination[0] = 0x0000FF;
    destination[1] = 0xFFFFFF;
    const std::vector<uint8_t> pixels = {0, 1, 5, 0};
    ConvertJob job{2, 2, 8, 2, source.data(), destination.data(), 5, 3};
    std::vector<uint8_t> out;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertMapToPalette), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 0, 3, 1}));
}

TEST(QuantiserTest, ChooseModeKeepsFewColoursExactlyInOrderOfAppearance) {
    const std::vector<uint32_t> pixels = {0xFF00FF00, 0x00123456, 0xFFFF0000, 0xFF00FF00,
                                          0xFF0000FF, 0xFFFF0000};
    std::array<uint32_t, 256> palette;
    palette.fill(0xABCDEF);
    ConvertJob job{3, 2, 32, 8, nullptr, palette.data(), -1, 0};
    std::vector<uint8_t> out;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertChoosePalette), 0);
    // Pen 0 is reserved, so the colours start at 1.
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 0, 2, 1, 3, 2}));
    std::array<uint32_t, 256> expected{0, 0x00FF00, 0xFF0000, 0x0000FF};
    EXPECT_EQ(palette, expected);

    // A pen in the middle is skipped over.
    job.destinationTransparentPen = 2;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertChoosePalette), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 2, 1, 0, 3, 1}));
    EXPECT_EQ(palette[3], 0x0000FFu);

    // An all-transparent picture uses only the pen.
    const std::vector<uint32_t> clear(6, 0x00FFFFFF);
    job.destinationTransparentPen = 4;
    ASSERT_NE(convert(clear.data(), out, job, ConvertChoosePalette), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(6, 4));
}

// Many colours: a smooth gradient with noise, 256 x 256.
std::vector<uint32_t> manyColours() {
    std::vector<uint32_t> pixels(256 * 256);
    uint32_t noise = 12345;
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            noise = noise * 1103515245u + 12345u;
            pixels[y * 256 + x] = 0xFF000000u | x << 16 | y << 8 | ((x + y + (noise >> 28)) & 0xFF);
        }
    return pixels;
}

TEST(QuantiserTest, MedianCutFillsTheRoomClosely) {
    const std::vector<uint32_t> pixels = manyColours();
    std::array<uint32_t, 256> palette{};
    ConvertJob job{256, 256, 32, 4, nullptr, palette.data(), -1, 0};
    std::vector<uint8_t> out;
    ASSERT_NE(convert(pixels.data(), out, job, ConvertChoosePalette), 0);
    // 16 entries, one reserved: indexes 1-15 used, each pixel near its colour.
    const std::set<uint8_t> used(out.begin(), out.end());
    EXPECT_EQ(std::make_pair(used.size(), *used.begin()), std::make_pair(std::size_t{15}, uint8_t{1}));
    int64_t error = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i)
        for (int shift : {16, 8, 0}) {
            const int d = int((pixels[i] >> shift) & 0xFF) - int((palette[out[i]] >> shift) & 0xFF);
            error += d * d;
        }
    // A mean squared error per pixel far below that of one flat colour
    // (about 3 * 256^2 / 12 = 16384).
    EXPECT_LT(error / int64_t(pixels.size()), 3000);
}

TEST(QuantiserTest, BadJobsAreRefusedAndLeaveTheDestinationAlone) {
    const std::vector<uint32_t> pixels(4, 0xFF000000);
    std::array<uint32_t, 256> palette{};
    const ConvertJob good{2, 2, 32, 2, nullptr, palette.data(), -1, -1};
    std::vector<ConvertJob> bad(11, good);
    bad[0].width = 0;
    bad[1].height = -1;
    bad[2].sourceDepth = 16;
    bad[3].destinationDepth = 9;
    bad[4].destinationDepth = 0;
    bad[5].destinationPalette = nullptr;
    bad[6].sourceDepth = 8;  // a palette source without its palette
    bad[7].destinationTransparentPen = 4;  // beyond 1 << 2 entries
    bad[8].width = 0x10000;
    bad[8].height = 0x10000;  // 2^32 pixels
    bad[9].sourceTransparentPen = 256;
    bad[10].width = 4097;  // wider than the host would decode
    bad[10].height = 1;
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        std::vector<uint8_t> small(4, 0xEE);
        EXPECT_EQ(services().image->ConvertPixels(pixels.data(), small.data(), &bad[i], 0, 0), 0) << i;
        EXPECT_EQ(small, std::vector<uint8_t>(4, 0xEE)) << i;
    }
    EXPECT_EQ(convert(pixels.data(), out, good, 1), 0);  // no mode 1
    EXPECT_EQ(services().image->ConvertPixels(pixels.data(), out.data(), nullptr, 0, 0), 0);
    EXPECT_NE(convert(pixels.data(), out, good, 0), 0);
}

}  // namespace
}  // namespace pictra::host
