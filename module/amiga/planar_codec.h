// Planar bitmaps, the pictures of classic Amiga icons: `depth` planes one
// after another, each `height` rows of RowBytes bytes. Plane k holds bit k of
// every pixel's pen; within a row byte j holds pixels 8j to 8j + 7, the
// leftmost in the most significant bit. Rows are padded to 16 pixels.
//
// Both directions work between memory blocks whose lengths they are given,
// allocate nothing and never touch a byte outside those blocks.
#pragma once

#include <cstdint>

// The deepest bitmap a pen of one byte can hold.
inline constexpr uint32_t MaxPlanarDepth = 8;

// The bytes of one row of one plane: the width rounded up to 16 pixels.
inline uint32_t PlanarRowBytes(uint32_t width) { return ((width + 15) >> 3) & ~1u; }

// Writes depth x height x RowBytes to *bytes and returns 1, or returns 0 when
// that does not fit in 32 bits.
int32_t PlanarBitmapBytes(uint32_t width, uint32_t height, uint32_t depth, uint32_t* bytes);

// Where a bitmap of width x height drawn at (left, top) lands on a canvas:
// only its top-left part that fits is copied, to the canvas' top-left corner.
struct PlanarPlacement {
    uint32_t width;         // of the bitmap, sets its row stride
    uint32_t height;
    uint32_t depth;         // 0 to MaxPlanarDepth
    uint32_t left;          // only clips
    uint32_t top;           // only clips
    uint32_t canvasWidth;   // row stride of the pens
    uint32_t canvasHeight;
};

// ORs the bitmap's pens into the canvas `pens` (canvasWidth x canvasHeight
// bytes, normally cleared). 0, with nothing written, when the depth is above
// MaxPlanarDepth or either block is shorter than its sizes say.
int32_t DecodePlanarPixels(const uint8_t* planes, uint32_t planesLength, const PlanarPlacement& placement,
                           uint8_t* pens, uint32_t pensLength);

// Builds the bitmap of a width x height picture of one pen byte per pixel
// (row stride `width`) in `planes`, which it clears first. Bits of a pen at
// and above `depth` are left out. 0, with nothing written, when the depth is
// above MaxPlanarDepth or either block is shorter than its sizes say.
int32_t EncodePlanarPixels(const uint8_t* pens, uint32_t pensLength, uint32_t width, uint32_t height,
                           uint32_t depth, uint8_t* planes, uint32_t planesLength);
