// The colour rows of a Windows icon bitmap. Rows are stored bottom row first
// (top row first when the header's height is negative), each padded with zero
// bytes to a multiple of four bytes. Pixels per bit count: 1 and 4 bits pack
// several pens per byte, the first pixel in the high bits; 8 bits one pen per
// byte; 24 bits blue, green, red; 32 bits blue, green, red, alpha.
//
// Pure codecs: they allocate nothing and never touch memory outside the
// lengths they are given.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Writes the byte count of one stored row to *bytes and returns 1, or returns
// 0 when the width is negative or the count does not fit in 32 bits.
int32_t BitmapRowBytes(int32_t width, int32_t bitCount, uint32_t* bytes);

// Whether the bit count is one the rows can hold: 1, 4, 8, 24 or 32.
int32_t IsBitmapBitCount(int32_t bitCount);

// Decodes `height` rows of `width` pixels from `source` into `destination`,
// top row first without gaps: one pen byte per pixel for bit counts up to 8,
// one 0xAARRGGBB word per pixel for 24 (alpha 255) and 32 bits. Returns 1
// when every row was decoded; 0 when the source or the destination is too
// short for all rows (the rows that fit are decoded) or the bit count is not
// one of the five.
int32_t DecodeBitmapRows(const uint8_t* source, uint32_t sourceLength, int32_t bitCount, int32_t width,
                         int32_t height, int32_t topDown, void* destination, uint32_t destinationLength);

// Encodes the picture's pixels as stored rows of `bitCount` bits (1, 4 or 8
// for palette pictures, the pens cut to that many bits; 32 for true-colour
// pictures), bottom row first. Returns the bytes written, or 0 when
// `destination` is too short or the bit count does not suit the picture.
uint32_t EncodeBitmapRows(const IconImage* image, int32_t bitCount, uint8_t* destination,
                          uint32_t destinationLength);
