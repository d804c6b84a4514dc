// Colour conversion to palette pictures: the ConvertPixels service.
//
// The source is a palette picture (depth 1-8: one index byte per pixel and
// 256 palette words 0x00RRGGBB) or a true-colour picture (depth 32: one
// 0xAARRGGBB word per pixel). The destination gets one index byte per pixel.
// Only integer arithmetic is used, so the result is the same on every
// machine.
//
// Transparency: a source pixel is transparent when it equals the source
// transparent pen (palette sources; -1 = none) or when its alpha is below
// 128 (true-colour sources). When the destination transparent pen is >= 0,
// transparent pixels get that pen and no other pixel ever does. When it is
// -1, transparent pixels are treated like all others, by their colour.
//
// Mode 0 (ConvertMapToPalette) maps each remaining pixel onto the nearest
// colour of the destination palette's first 1 << destinationDepth entries:
// least squared distance in R, G, B; on a tie the lowest index.
//
// Mode 2 (ConvertChoosePalette) first chooses the palette. There is room for
// 1 << destinationDepth colours, one fewer when a transparent pen is
// reserved. When the picture's own colours fit, they are the palette, in the
// order of their first appearance (rows from the top, left to right).
// Otherwise a median cut makes exactly that many: starting from one box of
// all colours (weighted by pixel count), the box with the widest channel
// range (ties: more pixels, then the earlier box) is sorted along that
// channel and cut at its weighted median, until there are enough boxes;
// each box gives its pixel-weighted mean colour, rounded. The colours fill
// the destination palette from index 0 upwards, skipping the transparent
// pen; the pen's entry and all unused entries of the 256 are 0. Pixels are
// then mapped as in mode 0, onto the filled entries only.
//
// A job is refused (result 0, destination untouched) when a pointer is null,
// width or height is below 1 or the picture exceeds the decode caps (images.h), the
// source depth is not 1-8 or 32, the destination depth is not 1-8, a palette
// source has no palette, a pen lies outside -1..255 (source) or
// -1..(1 << destinationDepth) - 1 (destination), or the mode is not 0 or 2.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

namespace pictra::host {

// 1 on success, 0 for a refused job.
int32_t convertPixels(const void* source, uint8_t* destination, const ConvertJob* job,
                      int32_t mode, uintptr_t reserved);

}  // namespace pictra::host
