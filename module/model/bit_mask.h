// One-bit transparency masks, as Windows icons (the AND mask after a bitmap)
// and macOS icons (the mask plane of the "#" elements) store them.
//
// The mask is handed over as bytes in memory with their length: the caller
// reads what the file holds of it (at most BitMaskByteCount bytes, fewer when
// the file or the element ends early) and this routine never looks past
// `length`. Mask bits that the bytes do not reach count as opaque.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

enum BitMaskLayout : int32_t {
    // Rows bottom row first, each padded with zero bytes to a multiple of
    // four bytes; a set bit is transparent.
    BitMaskBottomUpPadded = 0,
    // Rows top row first, packed (a row takes whole bytes, no padding); a
    // clear bit is transparent.
    BitMaskTopDownPacked = 1,
};

// Writes the byte count of a whole mask for a picture of these sizes to
// *bytes and returns 1, or returns 0 when a size is negative or the count
// does not fit in 32 bits.
int32_t BitMaskByteCount(int32_t width, int32_t height, int32_t layout, uint32_t* bytes);

// Applies the mask to `image`.
//
// A 32-bit picture gets alpha 0 where the mask is transparent and alpha 255
// elsewhere (its colour bits are kept).
//
// A palette picture gets a transparent pen that no opaque pixel holds, and
// every transparent pixel is set to it. The pen is, in this order of
// preference: the picture's own transparent pen when it already has one (a
// second mask adds to the first); the smallest pen no pixel holds; the
// smallest pen that only transparent pixels hold. When every pen is held by
// an opaque pixel the picture is widened: depths below 4 become 4 and depths
// below 8 become 8, whose new pens are free; an 8-bit picture becomes a
// 32-bit picture whose alpha comes from the mask. A mask without any
// transparent pixel leaves a palette picture without a transparent pen.
//
// Returns 1, or 0 when the sizes do not fit or the 32-bit pixels of a widened
// picture cannot be allocated (the picture is then unchanged).
int32_t ApplyBitMask(const uint8_t* mask, uint32_t length, IconImage* image, int32_t layout);

// Writes the mask of `image` in `layout` to `destination`: a pixel is
// transparent when a palette picture's pixel holds its transparent pen (none
// when that is -1) or a 32-bit pixel has alpha 0; row padding is zero.
// Returns the bytes written (BitMaskByteCount), or 0 when `destination` is
// too short or the sizes do not fit.
uint32_t EncodeBitMask(const IconImage* image, int32_t layout, uint8_t* destination, uint32_t destinationLength);
