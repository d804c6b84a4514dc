// The sizes each saver's icons hold, and pictures made for them from
// artwork: what `pictra create` builds and `pictra convert` adapts to.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "host/images.h"

namespace pictra::host {

struct IconTarget {
    std::string_view saver;        // the saver's name
    std::span<const uint32_t> sizes;  // square sizes made by default; empty: one picture at the art's size
    uint32_t maxSide;              // longest side a picture may have; 0 for no limit
    bool onlySizes;                // pictures of other sizes are left out (the ICNS type table)
    bool trueColourOnly;           // palette pictures are not stored as such
};

// The target of the saver called `saver` (exact, upper-case name); null
// for a saver this table does not know.
const IconTarget* iconTarget(std::string_view saver);

// The art picture a picture of `side` pixels is made from: one whose longer
// side is exactly `side`, else the smallest whose longer side is larger,
// else the largest. Null for no art. The first of equals wins.
const Picture* artForSide(std::span<const Picture> art, uint32_t side);

// A `side` x `side` picture from the art: an art picture of that size as it
// is (icon makers draw small sizes by hand), else artForSide() resampled
// (fitToSquare: other proportions are centred on a transparent square).
std::optional<Picture> squareFromArt(std::span<const Picture> art, uint32_t side);

// A picture whose longer side is `side`, proportions kept, from artForSide():
// that art as it is when its longer side is already `side`.
std::optional<Picture> withinFromArt(std::span<const Picture> art, uint32_t side);

}  // namespace pictra::host
