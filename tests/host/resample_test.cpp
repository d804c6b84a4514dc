// The resampler against the floating-point reference of
// resample_reference.h. The two may differ only by rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/icon_art.h"
#include "host/resample.h"
#include "resample_reference.h"

namespace pictra::host {
namespace {

using test::artwork;
using test::reference;

struct Case {
    uint32_t fromWidth, fromHeight, toWidth, toHeight;
};

class ResampleTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResampleTest, MatchesTheReferenceWithinRounding) {
    const Case c = GetParam();
    const Picture source = artwork(c.fromWidth, c.fromHeight);
    const auto result = resample(source, c.toWidth, c.toHeight);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width, c.toWidth);
    ASSERT_EQ(result->height, c.toHeight);
    const auto [worstAlpha, worstColour] = test::worstDifference(*result, reference(source, c.toWidth, c.toHeight));
    EXPECT_LE(worstAlpha, 1);
    EXPECT_LE(worstColour, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResampleTest,
                         ::testing::Values(Case{1024, 1024, 256, 256}, Case{1024, 1024, 16, 16},
                                           Case{256, 256, 24, 24}, Case{100, 100, 48, 48},
                                           Case{48, 48, 128, 128}, Case{16, 16, 93, 93},
                                           Case{300, 200, 64, 43}, Case{46, 40, 46, 80}, Case{7, 3, 1, 1}));

TEST(ResampleTest, KeepsFlatColourAndCleanEdgesExactly) {
    // A red disc on a transparent field: shrinking may soften alpha, never
    // the colour of what is left (the transparent pixels are black).
    Picture disc{64, 64, std::vector<uint32_t>(64 * 64, 0)};
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x)
            if ((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5) < 24 * 24) disc.pixels[y * 64 + x] = 0xFFC01020;
    for (uint32_t side : {48u, 32u, 17u, 16u, 100u}) {
        const auto small = resample(disc, side, side);
        ASSERT_TRUE(small);
        std::size_t seen = 0;
        for (const uint32_t p : small->pixels) {
            if (p >> 24 == 0) continue;
            ++seen;
            ASSERT_EQ(p & 0xFFFFFF, 0xC01020u) << "side " << side;
        }
        EXPECT_GT(seen, side * side / 3);
        EXPECT_EQ(small->pixels[(side / 2) * side + side / 2], 0xFFC01020u);
    }
}

TEST(ResampleTest, TakesThePictureAsItIsAtItsOwnSizeAndRefusesBadSizes) {
    const Picture source = artwork(20, 10);
    const auto same = resample(source, 20, 10);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->pixels, source.pixels);
    EXPECT_FALSE(resample(source, 0, 10));
    EXPECT_FALSE(resample(source, 10, kMaxResampleSide + 1));
    EXPECT_FALSE(resample(Picture{20, 10, std::vector<uint32_t>(199)}, 10, 10));
    for (uint32_t v = 0; v < 256; ++v) ASSERT_EQ(srgbFromLinear(linearFromSrgb(uint8_t(v))), v);
}

TEST(ResampleTest, FitsOtherProportionsOnATransparentSquare) {
    const Picture wide{4, 2, std::vector<uint32_t>(8, 0xFF00FF00)};
    const auto square = fitToSquare(wide, 8);
    ASSERT_TRUE(square);
    ASSERT_EQ(square->width, 8u);
    // 8 x 4 of green in rows 2 to 5.
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            EXPECT_EQ(square->pixels[y * 8 + x], y >= 2 && y < 6 ? 0xFF00FF00u : 0u) << x << "," << y;
    const Picture cut = centreOnCanvas(artwork(10, 10), 4, 4);
    EXPECT_EQ(cut.pixels[0], artwork(10, 10).pixels[3 * 10 + 3]);
}

TEST(IconArtTest, TakesExactArtAsItIsElseTheClosestAbove) {
    const std::vector<Picture> art = {artwork(16, 16), artwork(1024, 1024), artwork(64, 64), artwork(96, 48)};
    struct Expect {
        uint32_t side;
        std::size_t art;
    };
    for (const Expect e : {Expect{16, 0}, Expect{12, 0}, Expect{24, 2}, Expect{64, 2}, Expect{65, 3},
                           Expect{96, 3}, Expect{97, 1}, Expect{2048, 1}})
        EXPECT_EQ(artForSide(art, e.side), &art[e.art]) << e.side;
    // Exact sizes pixel for pixel; others resampled from the art above.
    EXPECT_EQ(squareFromArt(art, 16)->pixels, art[0].pixels);
    EXPECT_EQ(squareFromArt(art, 32)->pixels, resample(art[2], 32, 32)->pixels);
    EXPECT_EQ(squareFromArt(art, 96)->pixels, centreOnCanvas(art[3], 96, 96).pixels);
    const auto within = withinFromArt(art, 80);
    EXPECT_EQ(within->width, 80u);
    EXPECT_EQ(within->height, 40u);
    EXPECT_FALSE(squareFromArt({}, 16));
}

}  // namespace
}  // namespace pictra::host
