// A reference resampler in floating point, written apart from the host's
// integer one: the same filters (Mitchell-Netravali to shrink, Catmull-Rom
// to enlarge), in linear light with premultiplied alpha, edges repeated.
// The two may differ only by rounding.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "host/images.h"

namespace pictra::test {

inline double linearOf(uint32_t srgb) {
    const double c = srgb / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

inline double srgbOf(double linear) {
    linear = std::clamp(linear, 0.0, 1.0);
    const double c = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return c * 255;
}

inline double cubic(double x, double b, double c) {
    x = std::fabs(x);
    if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
    if (x < 2) return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
    return 0;
}

// One axis: `lines` rows (or columns) of `from` pixels, four values each,
// resampled to `to` pixels.
inline std::vector<double> referenceAxis(const std::vector<double>& in, uint32_t from, uint32_t to, uint32_t lines,
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
inline std::vector<double> reference(const host::Picture& source, uint32_t width, uint32_t height) {
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
inline host::Picture artwork(uint32_t width, uint32_t height) {
    host::Picture p{width, height, std::vector<uint32_t>(std::size_t(width) * height)};
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

// The largest difference of alpha, and of colour where alpha is 16 or more
// (halved below 128, where fewer bits of alpha carry the colour), between a
// picture and the reference's unrounded values.
inline std::pair<int, int> worstDifference(const host::Picture& picture, const std::vector<double>& expected) {
    int worstAlpha = 0, worstColour = 0;
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const uint32_t p = picture.pixels[i];
        const int alpha = int(p >> 24);
        worstAlpha = std::max(worstAlpha, std::abs(alpha - int(std::lround(expected[i * 4]))));
        if (alpha < 16) continue;
        for (int ch = 1; ch < 4; ++ch) {
            const int got = int((p >> (24 - 8 * ch)) & 0xFF);
            const int off = std::abs(got - int(std::lround(expected[i * 4 + std::size_t(ch)])));
            worstColour = std::max(worstColour, alpha >= 128 ? off : off / 2);
        }
    }
    return {worstAlpha, worstColour};
}

}  // namespace pictra::test
