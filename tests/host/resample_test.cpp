// The resampler against a reference written here in floating point: the
// same filters (Mitchell-Netravali to shrink, Catmull-Rom to enlarge), in
// linear light with premultiplied alpha, edges repeated. The two may differ
// only by rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/icon_art.h"
#include "host/resample.h"

namespace pictra::host {
namespace {

double linearOf(uint32_t srgb) {
    const double c = srgb / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double srgbOf(double linear) {
    linear = std::clamp(linear, 0.0, 1.0);
    const double c = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return c * 255;
}

double cubic(double x, double b, double c) {
    x = std::fabs(x);
    if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
    if (x < 2) return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
    return 0;
}

// One axis: `values` (count = from, stride `stride` apart, `channels` each)
// resampled to `to` samples.
std::vector<double> referenceAxis(const std::vector<double>& in, uint32_t from, uint32_t to, uint32_t lines,
                                  bool alongRows) {
    const bool shrinking = to < from;
    const double scale = double(to) / from;
    const double support = shrinking ? 2 / scale : 2;
    std::vector<double> out(std::size_t(to) * lines * 4);
    for (uint32_t line = 0; line < lines; ++line)
        for (uint32_t d = 0; d < to; ++d) {
            const double centre = (d + 0.5) / scale;
            double sums[4] = {}, total = 0;
            for (int i = int(std::floor(centre - support)) - 1; i <= int(std::ceil(centre + support)) + 1; ++i) {
                const double distance = (i + 0.5 - centre) * (shrinking ? scale : 1);
                const double w = shrinking ? cubic(distance, 1 / 3.0, 1 / 3.0) : cubic(distance, 0, 0.5);
                if (w == 0) continue;
                const std::size_t at = std::size_t(std::clamp(i, 0, int(from) - 1));
                const std::size_t pixel = alongRows ? std::size_t(line) * from + at : at * lines + line;
                for (int c = 0; c < 4; ++c) sums[c] += w * in[pixel * 4 + std::size_t(c)];
                total += w;
            }
            const std::size_t pixel = alongRows ? std::size_t(line) * to + d : std::size_t(d) * lines + line;
            for (int c = 0; c < 4; ++c) out[pixel * 4 + std::size_t(c)] = sums[c] / total;
        }
    return out;
}

// Alpha 0-255 and straight colours 0-255, unrounded.
std::vector<double> reference(const Picture& source, uint32_t width, uint32_t height) {
    std::vector<double> planes(source.pixels.size() * 4);
    for (std::size_t i = 0; i < source.pixels.size(); ++i) {
        const uint32_t p = source.pixels[i];
        const double alpha = (p >> 24) / 255.0;
        planes[i * 4] = alpha;
        for (int c = 1; c < 4; ++c) planes[i * 4 + std::size_t(c)] = linearOf((p >> (24 - 8 * c)) & 0xFF) * alpha;
    }
    if (width != source.width) planes = referenceAxis(planes, source.width, width, source.height, true);
    if (height != source.height) planes = referenceAxis(planes, source.height, height, width, false);
    std::vector<double> out(planes.size());
    for (std::size_t i = 0; i < planes.size(); i += 4) {
        // Colours divided by the alpha the filter gave, before that is
        // clamped: where it overshoots an edge, so do they.
        const double alpha = planes[i];
        out[i] = std::clamp(alpha, 0.0, 1.0) * 255;
        for (std::size_t c = 1; c < 4; ++c)
            out[i + c] = alpha > 0 ? srgbOf(std::clamp(planes[i + c], 0.0, alpha) / alpha) : 0;
    }
    return out;
}

// Smooth gradients with a hard-edged shape and a band of fading alpha: the
// kinds of content icons have.
Picture artwork(uint32_t width, uint32_t height) {
    Picture p{width, height, std::vector<uint32_t>(std::size_t(width) * height)};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t r = x * 255 / width, g = y * 255 / height, b = (x + y) % 64 < 32 ? 40 : 220;
            const bool inside = (x - width / 2.0) * (x - width / 2.0) + (y - height / 2.0) * (y - height / 2.0) <
                                width * height / 6.0;
            const uint32_t a = inside ? 255 : y * 4 < height ? y * 255 * 4 / height : 0;
            p.pixels[std::size_t(y) * width + x] = a << 24 | r << 16 | g << 8 | b;
        }
    return p;
}

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
    const std::vector<double> expected = reference(source, c.toWidth, c.toHeight);
    int worstAlpha = 0, worstColour = 0;
    for (std::size_t i = 0; i < result->pixels.size(); ++i) {
        const uint32_t p = result->pixels[i];
        const int alpha = int(p >> 24);
        worstAlpha = std::max(worstAlpha, std::abs(alpha - int(std::lround(expected[i * 4]))));
        // Below 16 of 255, a colour rests on too few bits of alpha to compare.
        if (alpha < 16) continue;
        for (int ch = 1; ch < 4; ++ch) {
            const int got = int((p >> (24 - 8 * ch)) & 0xFF);
            const int off = std::abs(got - int(std::lround(expected[i * 4 + std::size_t(ch)])));
            worstColour = std::max(worstColour, alpha >= 128 ? off : off / 2);
        }
    }
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
