#include "host/resample.h"

#include <algorithm>
#include <array>
#include <vector>

namespace pictra::host {

namespace {

// round(65535 * c) for each sRGB value v, c = v / 255 taken through the sRGB
// curve: c / 12.92 up to 0.04045, else ((c + 0.055) / 1.055) ^ 2.4. Fixed
// numbers rather than a power computed at start-up, whose last bit could
// differ between C libraries.
constexpr std::array<uint16_t, 256> kLinearFromSrgb = {
    0, 20, 40, 60, 80, 99, 119, 139, 159, 179, 199, 219,
    241, 264, 288, 313, 340, 367, 396, 427, 458, 491, 526, 562,
    599, 637, 677, 718, 761, 805, 851, 898, 947, 997, 1048, 1101,
    1156, 1212, 1270, 1330, 1391, 1453, 1517, 1583, 1651, 1720, 1790, 1863,
    1937, 2013, 2090, 2170, 2250, 2333, 2418, 2504, 2592, 2681, 2773, 2866,
    2961, 3058, 3157, 3258, 3360, 3464, 3570, 3678, 3788, 3900, 4014, 4129,
    4247, 4366, 4488, 4611, 4736, 4864, 4993, 5124, 5257, 5392, 5530, 5669,
    5810, 5953, 6099, 6246, 6395, 6547, 6700, 6856, 7014, 7174, 7335, 7500,
    7666, 7834, 8004, 8177, 8352, 8528, 8708, 8889, 9072, 9258, 9445, 9635,
    9828, 10022, 10219, 10417, 10619, 10822, 11028, 11235, 11446, 11658, 11873, 12090,
    12309, 12530, 12754, 12980, 13209, 13440, 13673, 13909, 14146, 14387, 14629, 14874,
    15122, 15371, 15623, 15878, 16135, 16394, 16656, 16920, 17187, 17456, 17727, 18001,
    18277, 18556, 18837, 19121, 19407, 19696, 19987, 20281, 20577, 20876, 21177, 21481,
    21787, 22096, 22407, 22721, 23038, 23357, 23678, 24002, 24329, 24658, 24990, 25325,
    25662, 26001, 26344, 26688, 27036, 27386, 27739, 28094, 28452, 28813, 29176, 29542,
    29911, 30282, 30656, 31033, 31412, 31794, 32179, 32567, 32957, 33350, 33745, 34143,
    34544, 34948, 35355, 35764, 36176, 36591, 37008, 37429, 37852, 38278, 38706, 39138,
    39572, 40009, 40449, 40891, 41337, 41785, 42236, 42690, 43147, 43606, 44069, 44534,
    45002, 45473, 45947, 46423, 46903, 47385, 47871, 48359, 48850, 49344, 49841, 50341,
    50844, 51349, 51858, 52369, 52884, 53401, 53921, 54445, 54971, 55500, 56032, 56567,
    57105, 57646, 58190, 58737, 59287, 59840, 60396, 60955, 61517, 62082, 62650, 63221,
    63795, 64372, 64952, 65535,
};

// The linear value halfway between each sRGB value and the one below it:
// a linear value maps to the sRGB value whose own linear value is nearest.
constexpr std::array<uint16_t, 255> kSrgbThresholds = [] {
    std::array<uint16_t, 255> thresholds{};
    for (std::size_t v = 1; v < 256; ++v)
        thresholds[v - 1] = static_cast<uint16_t>((kLinearFromSrgb[v - 1] + kLinearFromSrgb[v] + 1) / 2);
    return thresholds;
}();

constexpr int kWeightBits = 24;
// Raw filter values are brought below this before they are made weights,
// so that a value times kWeightOne stays within 64 bits.
constexpr int64_t kRawLimit = int64_t{1} << 36;
constexpr int64_t kWeightOne = int64_t{1} << kWeightBits;
constexpr int32_t kLinearMax = 65535;
// Bits below the linear unit that the filtering carries, so that a dim or
// nearly transparent pixel keeps its colour through the two passes.
constexpr int kFractionBits = 8;
constexpr std::size_t kChannels = 4;  // alpha, then red, green and blue premultiplied by it

int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
    const int64_t q = a / b;
    return q * b > a ? q - 1 : q;
}

int64_t roundDiv(int64_t a, int64_t b) {  // b > 0; halves away from zero
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// 18 m^3 times the filter's value at t / m (t >= 0): the cubics' rational
// coefficients made whole, so that every weight is an exact integer.
int64_t kernel(int64_t t, int64_t m, bool shrinking) {
    const int64_t t2 = t * t, t3 = t2 * t, m2 = m * m, m3 = m2 * m;
    if (t >= 2 * m) return 0;
    if (shrinking) {  // Mitchell-Netravali, B = C = 1/3
        if (t < m) return 21 * t3 - 36 * t2 * m + 16 * m3;
        return -7 * t3 + 36 * t2 * m - 60 * t * m2 + 32 * m3;
    }
    // Catmull-Rom, B = 0, C = 1/2
    if (t < m) return 27 * t3 - 45 * t2 * m + 18 * m3;
    return -9 * t3 + 45 * t2 * m - 72 * t * m2 + 36 * m3;
}

struct Tap {
    uint32_t index;  // source pixel along the axis
    int32_t weight;  // in units of 1 / kWeightOne
};

// The taps of each destination pixel along one axis, `first[d]` to
// `first[d + 1]` in `taps`.
struct AxisTaps {
    std::vector<Tap> taps;
    std::vector<std::size_t> first;
};

// Whole weights in units of 1 / kWeightOne, in proportion to the raw filter
// values and adding up to exactly one: what rounding leaves over goes to the
// heaviest tap.
std::vector<int32_t> normalisedWeights(std::vector<int64_t> raw) {
    int64_t largest = 0;
    for (const int64_t value : raw) largest = std::max(largest, value < 0 ? -value : value);
    int64_t divisor = 1;
    while (largest / divisor >= kRawLimit) divisor *= 2;
    int64_t total = 0;
    for (int64_t& value : raw) {
        value = roundDiv(value, divisor);
        total += value;
    }
    std::vector<int32_t> weights(raw.size());
    int64_t sum = 0;
    std::size_t heaviest = 0;
    for (std::size_t k = 0; k < raw.size(); ++k) {
        weights[k] = static_cast<int32_t>(roundDiv(raw[k] * kWeightOne, total));
        sum += weights[k];
        if (weights[k] > weights[heaviest]) heaviest = k;
    }
    weights[heaviest] += static_cast<int32_t>(kWeightOne - sum);
    return weights;
}

// Source pixel i (centre i + 1/2) lies (2i + 1) D - (2d + 1) S units of
// 1 / 2D source pixels from the centre of destination pixel d. The filter
// spans two pixels of the coarser side each way: m = 2 max(S, D) units.
AxisTaps axisTaps(uint32_t sourceSize, uint32_t destinationSize) {
    const int64_t s = sourceSize, d = destinationSize;
    const bool shrinking = d < s;
    const int64_t m = 2 * std::max(s, d);
    AxisTaps axis;
    axis.first.reserve(destinationSize + 1);
    for (int64_t out = 0; out < d; ++out) {
        axis.first.push_back(axis.taps.size());
        const int64_t centre = (2 * out + 1) * s;
        std::vector<uint32_t> indexes;
        std::vector<int64_t> raw;
        for (int64_t i = floorDiv(centre - 2 * m - d, 2 * d); i <= floorDiv(centre + 2 * m - d, 2 * d) + 1; ++i) {
            const int64_t n = (2 * i + 1) * d - centre;
            const int64_t value = kernel(n < 0 ? -n : n, m, shrinking);
            if (value == 0) continue;
            indexes.push_back(static_cast<uint32_t>(std::clamp<int64_t>(i, 0, s - 1)));
            raw.push_back(value);
        }
        const std::vector<int32_t> weights = normalisedWeights(std::move(raw));
        for (std::size_t k = 0; k < weights.size(); ++k) axis.taps.push_back({indexes[k], weights[k]});
    }
    axis.first.push_back(axis.taps.size());
    return axis;
}

int32_t roundWeighted(int64_t sum) { return static_cast<int32_t>((sum + kWeightOne / 2) >> kWeightBits); }

// Rows of premultiplied linear channels, kChannels values a pixel, in
// units of 1 / (kLinearMax << kFractionBits).
std::vector<int32_t> linearPremultiplied(const Picture& picture) {
    std::vector<int32_t> planes(picture.pixels.size() * kChannels);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const uint32_t pixel = picture.pixels[i];
        const uint32_t alpha = pixel >> 24;
        int32_t* out = &planes[i * kChannels];
        out[0] = static_cast<int32_t>((alpha * 257) << kFractionBits);
        for (std::size_t c = 1; c < kChannels; ++c) {
            const uint32_t value = (pixel >> (24 - 8 * c)) & 0xFF;
            out[c] = static_cast<int32_t>(((uint64_t{kLinearFromSrgb[value]} * alpha << kFractionBits) + 127) / 255);
        }
    }
    return planes;
}

// The colours are divided by the filtered alpha before it is clamped: where
// the filter overshoots at an edge, colour and alpha overshoot together.
uint32_t pixelFromPremultiplied(const int32_t* channels) {
    constexpr int64_t one = int64_t{kLinearMax} << kFractionBits;
    const int64_t alpha = channels[0];
    const auto alpha8 = static_cast<uint32_t>((std::clamp<int64_t>(alpha, 0, one) * 255 + one / 2) / one);
    if (alpha8 == 0) return 0;
    uint32_t pixel = alpha8 << 24;
    for (std::size_t c = 1; c < kChannels; ++c) {
        const int64_t value = std::clamp<int64_t>(channels[c], 0, alpha);
        const int64_t linear = (value * kLinearMax + alpha / 2) / alpha;
        pixel |= uint32_t{srgbFromLinear(static_cast<uint32_t>(linear))} << (24 - 8 * c);
    }
    return pixel;
}

// Each row filtered along x: width `to` from width `from`, `rows` rows.
std::vector<int32_t> filterRows(const std::vector<int32_t>& in, uint32_t from, uint32_t to, uint32_t rows) {
    if (from == to) return in;
    const AxisTaps axis = axisTaps(from, to);
    std::vector<int32_t> out(std::size_t(to) * rows * kChannels);
    for (std::size_t y = 0; y < rows; ++y) {
        const int32_t* row = &in[y * from * kChannels];
        for (std::size_t x = 0; x < to; ++x) {
            int64_t sums[kChannels] = {};
            for (std::size_t k = axis.first[x]; k < axis.first[x + 1]; ++k) {
                const int32_t* pixel = row + std::size_t(axis.taps[k].index) * kChannels;
                for (std::size_t c = 0; c < kChannels; ++c) sums[c] += int64_t{axis.taps[k].weight} * pixel[c];
            }
            int32_t* target = &out[(y * to + x) * kChannels];
            for (std::size_t c = 0; c < kChannels; ++c) target[c] = roundWeighted(sums[c]);
        }
    }
    return out;
}

// Each column filtered along y: height `to` from height `from`, rows of `width`.
std::vector<int32_t> filterColumns(const std::vector<int32_t>& in, uint32_t from, uint32_t to, uint32_t width) {
    if (from == to) return in;
    const AxisTaps axis = axisTaps(from, to);
    const std::size_t rowValues = std::size_t(width) * kChannels;
    std::vector<int32_t> out(rowValues * to);
    std::vector<int64_t> sums(rowValues);
    for (std::size_t y = 0; y < to; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (std::size_t k = axis.first[y]; k < axis.first[y + 1]; ++k) {
            const int32_t* row = &in[std::size_t(axis.taps[k].index) * rowValues];
            const int64_t weight = axis.taps[k].weight;
            for (std::size_t v = 0; v < rowValues; ++v) sums[v] += weight * row[v];
        }
        for (std::size_t v = 0; v < rowValues; ++v) out[y * rowValues + v] = roundWeighted(sums[v]);
    }
    return out;
}

bool validSide(uint32_t side) { return side >= 1 && side <= kMaxResampleSide; }

}  // namespace

uint16_t linearFromSrgb(uint8_t value) { return kLinearFromSrgb[value]; }

uint8_t srgbFromLinear(uint32_t linear) {
    const auto above = std::upper_bound(kSrgbThresholds.begin(), kSrgbThresholds.end(), linear);
    return static_cast<uint8_t>(above - kSrgbThresholds.begin());
}

std::optional<Picture> resample(const Picture& source, uint32_t width, uint32_t height) {
    if (!validSide(source.width) || !validSide(source.height) || !validSide(width) || !validSide(height) ||
        source.pixels.size() != std::size_t(source.width) * source.height)
        return std::nullopt;
    if (source.width == width && source.height == height) return source;
    const std::vector<int32_t> rows = filterRows(linearPremultiplied(source), source.width, width, source.height);
    const std::vector<int32_t> both = filterColumns(rows, source.height, height, width);
    Picture result{width, height, std::vector<uint32_t>(std::size_t(width) * height)};
    for (std::size_t i = 0; i < result.pixels.size(); ++i) result.pixels[i] = pixelFromPremultiplied(&both[i * kChannels]);
    return result;
}

Picture centreOnCanvas(const Picture& source, uint32_t width, uint32_t height) {
    Picture canvas{width, height, std::vector<uint32_t>(std::size_t(width) * height, 0)};
    // Offsets of the source in the canvas (when smaller) or of the canvas in
    // the source (when larger), per axis.
    const uint32_t intoX = width > source.width ? (width - source.width) / 2 : 0;
    const uint32_t intoY = height > source.height ? (height - source.height) / 2 : 0;
    const uint32_t fromX = source.width > width ? (source.width - width) / 2 : 0;
    const uint32_t fromY = source.height > height ? (source.height - height) / 2 : 0;
    const uint32_t columns = std::min(width, source.width), rows = std::min(height, source.height);
    for (uint32_t y = 0; y < rows; ++y) {
        const uint32_t* from = &source.pixels[std::size_t(fromY + y) * source.width + fromX];
        std::copy(from, from + columns, &canvas.pixels[std::size_t(intoY + y) * width + intoX]);
    }
    return canvas;
}

std::pair<uint32_t, uint32_t> sizeWithin(uint32_t width, uint32_t height, uint32_t side) {
    const uint64_t longer = std::max({width, height, 1u});
    const auto scaled = [&](uint32_t length) {
        return static_cast<uint32_t>(std::max<uint64_t>(1, (uint64_t{length} * side + longer / 2) / longer));
    };
    return {scaled(width), scaled(height)};
}

std::optional<Picture> scaleToSide(const Picture& source, uint32_t side) {
    const auto [width, height] = sizeWithin(source.width, source.height, side);
    return resample(source, width, height);
}

std::optional<Picture> fitToSquare(const Picture& source, uint32_t side) {
    const auto fitted = scaleToSide(source, side);
    if (!fitted) return std::nullopt;
    return centreOnCanvas(*fitted, side, side);
}

}  // namespace pictra::host
