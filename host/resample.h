// The one resampler of the host: pictures change size here and nowhere else.
//
// Colours are filtered in linear light with premultiplied alpha, so that a
// scaled edge neither darkens nor takes the colour of transparent pixels.
// Shrinking uses the Mitchell-Netravali cubic (B = C = 1/3), enlarging the
// Catmull-Rom cubic; pixels beyond an edge repeat the edge. Every step is
// integer arithmetic (weights in units of 2^-24, linear values of 1/65535, fixed
// tables for the sRGB curve), so a picture comes out the same, bit for bit,
// on every machine.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "host/images.h"

namespace pictra::host {

// Neither side of a picture resample() takes or makes may be longer: it
// keeps every sum of the weight arithmetic within 64 bits.
inline constexpr uint32_t kMaxResampleSide = 8192;

// `source` at `width` x `height`. A picture already of that size comes back
// as it is. Nothing when a side is 0 or above kMaxResampleSide, or the
// source's pixels do not match its size.
std::optional<Picture> resample(const Picture& source, uint32_t width, uint32_t height);

// `source` in the middle of a transparent `width` x `height` canvas (left
// and top take the smaller half of the margin); a source larger than the
// canvas is cut to it the same way.
Picture centreOnCanvas(const Picture& source, uint32_t width, uint32_t height);

// The size with proportions kept whose longer side is `side`, the other
// rounded and at least 1 (width and height at least 1).
std::pair<uint32_t, uint32_t> sizeWithin(uint32_t width, uint32_t height, uint32_t side);

// `source` scaled to sizeWithin() its size. Nothing where resample() gives
// nothing.
std::optional<Picture> scaleToSide(const Picture& source, uint32_t side);

// scaleToSide(), centred on a transparent `side` x `side` square.
std::optional<Picture> fitToSquare(const Picture& source, uint32_t side);

// The sRGB value 0-255 of a linear intensity 0-65535, and back: the pair
// resample() converts with, so that every 8-bit value survives the round
// trip unchanged.
uint16_t linearFromSrgb(uint8_t value);
uint8_t srgbFromLinear(uint32_t linear);

}  // namespace pictra::host
