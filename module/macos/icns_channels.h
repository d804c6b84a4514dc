// The run-length packing of the true-colour elements ("is32", "il32",
// "ih32", "it32"). The red, green and blue channels are packed one after the
// other, each covering all pixels in row order; a packet never spans two
// channels:
//   control 0x00-0x7F: control + 1 literal bytes follow (1 to 128 values);
//   control 0x80-0xFF: one byte follows, repeated control - 125 times
//                      (3 to 130 values).
// The 128 x 128 type begins with four zero bytes. There is no alpha: the
// "8mk" elements carry it.
//
// Both directions work on whole buffers, allocate nothing and never touch a
// byte outside the lengths they are given.
#pragma once

#include <cstdint>

// Fills `pixels` (count words 0xAARRGGBB) from packed data: opaque, with
// every channel value that no packet reaches left 0. Four leading zero bytes
// are skipped whatever the size. Data that end early are not an error;
// bytes after the blue channel are ignored. `planes` is the caller's room
// for the three channels, 3 * count bytes, whose contents do not matter.
void UnpackIcnsChannels(const uint8_t* data, uint32_t length, uint8_t* planes, uint32_t* pixels,
                        uint32_t count);

// The true-colour elements that carry their own alpha ("ic04", "ic05" and
// the sidebar types) may hold, instead of an image file, the four bytes
// "ARGB" and then the alpha, red, green and blue channels packed the same
// way, without the four zero bytes. 1 when the data begin so.
int32_t IsIcnsArgbChannels(const uint8_t* data, uint32_t length);

// Fills `pixels` (count words 0xAARRGGBB) from such data, the "ARGB" bytes
// included; values no packet reaches are 0. `planes` is the caller's room
// for the four channels, 4 * count bytes.
void UnpackIcnsArgbChannels(const uint8_t* data, uint32_t length, uint8_t* planes, uint32_t* pixels,
                            uint32_t count);

// The most bytes PackIcnsChannels can produce for `count` pixels: each
// channel at worst one control byte per 128 literal values. 0 when the
// bound does not fit in 32 bits.
uint32_t PackedChannelsBound(uint32_t count);

// Packs the red, green and blue channels of `pixels` into `out` and returns
// the bytes produced, or 0 when `room` is too small (PackedChannelsBound is
// always enough). Pictures of more than 16383 pixels (128 x 128) get the four
// leading zero bytes.
uint32_t PackIcnsChannels(const uint32_t* pixels, uint32_t count, uint8_t* out, uint32_t room);
