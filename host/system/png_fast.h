// The fast way through a PNG: the image data inflated by libdeflate in one
// call, straight into the picture's own memory, then unfiltered and turned
// into 0xAARRGGBB words row by row. libspng reads the header and the chunks
// before the image data first (and so takes or refuses them); the fast way
// only covers what it can finish exactly as libspng would and declines the
// rest, which libspng then decodes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "host/images.h"

namespace pictra::host::system {

// What the fast way needs of the chunks libspng has read.
struct PngLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t depth = 0;
    uint8_t colourType = 0;
    bool interlaced = false;
    // Colour type 3: the palette with the tRNS alphas as 0xAARRGGBB words.
    uint32_t palette[256] = {};
    uint32_t paletteSize = 0;
    // Colour types 0 and 2: the tRNS sample values that are transparent.
    bool hasKey = false;
    uint16_t keyGrey = 0;
    uint16_t keyRed = 0;
    uint16_t keyGreen = 0;
    uint16_t keyBlue = 0;
};

// True when the fast way handles pictures of this layout: not interlaced,
// 8 bits a sample, or a palette of 1, 2, 4 or 8 bits a pixel.
bool fastPngCovers(const PngLayout& layout);

// The picture of the PNG in `bytes`, whose chunks before the image data
// libspng has taken, within `budget` bytes of memory; nothing when the fast
// way declines (libspng then decides). Image data in several IDAT chunks is
// gathered in one piece: in a copy, or, when `writable` is the same memory
// as `bytes`, in place (the bytes are put back when it declines).
std::optional<Picture> decodePngFast(std::span<const uint8_t> bytes, const PngLayout& layout,
                                     uint64_t budget, std::span<uint8_t> writable = {});

}  // namespace pictra::host::system
