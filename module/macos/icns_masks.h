// Masks of macOS icons: the "#" types hold a 1-bit icon plane and a 1-bit
// mask plane (top row first, eight pixels per byte, most significant bit
// first, 1 = opaque) for the 4- and 8-bit pens; the "8mk" types hold one
// alpha byte per pixel for the packed true-colour picture of their size.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Which part of a mask element's data is the mask: a mask of `maskBytes`
// alone, or after an icon plane of the same size. Writes the offset of the
// mask to *offset and returns 1, or returns 0 for any other data length
// (the element then masks nothing).
int32_t LocateIcnsMask(uint32_t dataLength, uint32_t maskBytes, uint32_t* offset);

// Gives the 32-bit `image` the alpha bytes, one per pixel in row order;
// pixels past `length` keep their alpha.
void ApplyAlphaMask(const uint8_t* alpha, uint32_t length, IconImage* image);

// Gives a palette picture the 1-bit mask plane of `length` bytes; see
// ApplyBitMask for how its transparent pen is chosen. 1, or 0 when the
// picture had to grow and could not.
int32_t ApplyPlaneMask(const uint8_t* plane, uint32_t length, IconImage* image);

// The mask plane of a palette picture whose width is a multiple of 8: a bit
// is 1 where the pixel's pen is not the transparent pen. Writes `length`
// bytes at most.
void BuildMaskPlane(const IconImage* image, uint8_t* plane, uint32_t length);

// The icon plane of a 1-bit picture whose width is a multiple of 8: a bit
// is 1 where the pixel is dark and not transparent. Writes `length` bytes
// at most.
void BuildIconPlane(const IconImage* image, uint8_t* plane, uint32_t length);

// 1 when every pixel of a palette picture holds pen 0, pen 1 or its
// transparent pen.
int32_t ShowsTwoPens(const IconImage* image);

// The alpha byte of each pixel of a 32-bit picture, `length` bytes at most.
void ExtractAlpha(const IconImage* image, uint8_t* alpha, uint32_t length);
