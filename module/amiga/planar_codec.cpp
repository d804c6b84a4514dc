#include "amiga/planar_codec.h"

#include <cstring>

#include "frame/sizes.h"

namespace {

// The part of `size` that fits on a canvas of `canvas` after `offset`.
uint32_t ClippedExtent(uint32_t size, uint32_t offset, uint32_t canvas) {
    if (offset >= canvas) return 0;
    return size < canvas - offset ? size : canvas - offset;
}

}  // namespace

int32_t PlanarBitmapBytes(uint32_t width, uint32_t height, uint32_t depth, uint32_t* bytes) {
    uint32_t plane = 0;
    if (!MultiplySize(PlanarRowBytes(width), height, &plane)) return 0;
    return MultiplySize(plane, depth, bytes);
}

int32_t DecodePlanarPixels(const uint8_t* planes, uint32_t planesLength, const PlanarPlacement& placement,
                           uint8_t* pens, uint32_t pensLength) {
    uint32_t needed = 0;
    uint32_t canvas = 0;
    if (placement.depth > MaxPlanarDepth ||
        !PlanarBitmapBytes(placement.width, placement.height, placement.depth, &needed) ||
        needed > planesLength ||
        !MultiplySize(placement.canvasWidth, placement.canvasHeight, &canvas) || canvas > pensLength)
        return 0;
    const uint32_t columns = ClippedExtent(placement.width, placement.left, placement.canvasWidth);
    const uint32_t rows = ClippedExtent(placement.height, placement.top, placement.canvasHeight);
    const uint32_t rowBytes = PlanarRowBytes(placement.width);
    const uint32_t planeBytes = rowBytes * placement.height;
    // Proof of bounds: columns <= width and rows <= height, so every source
    // byte read lies inside `needed`; every pen written lies inside `canvas`.
    for (uint32_t k = 0; k < placement.depth; ++k) {
        const uint8_t bit = static_cast<uint8_t>(1u << k);
        for (uint32_t y = 0; y < rows; ++y) {
            const uint8_t* row = planes + k * planeBytes + y * rowBytes;
            uint8_t* out = pens + y * placement.canvasWidth;
            for (uint32_t x = 0; x < columns; ++x)
                if (row[x >> 3] & (0x80u >> (x & 7))) out[x] |= bit;
        }
    }
    return 1;
}

int32_t EncodePlanarPixels(const uint8_t* pens, uint32_t pensLength, uint32_t width, uint32_t height,
                           uint32_t depth, uint8_t* planes, uint32_t planesLength) {
    uint32_t needed = 0;
    uint32_t pixels = 0;
    if (depth > MaxPlanarDepth || !PlanarBitmapBytes(width, height, depth, &needed) ||
        needed > planesLength || !MultiplySize(width, height, &pixels) || pixels > pensLength)
        return 0;
    if (needed) memset(planes, 0, needed);
    const uint32_t rowBytes = PlanarRowBytes(width);
    const uint32_t planeBytes = rowBytes * height;
    for (uint32_t k = 0; k < depth; ++k) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* in = pens + y * width;
            uint8_t* row = planes + k * planeBytes + y * rowBytes;
            for (uint32_t x = 0; x < width; ++x)
                if ((in[x] >> k) & 1) row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        }
    }
    return 1;
}
