// Palette pictures made from true-colour ones, for the Amiga formats that
// store only palette pictures (NewIcons lines, IMAG chunks).
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Two pictures the caller owns, cleared before use, and their palettes of
// 256 entries. The pixel blocks the reduction allocates (memory tag "iedata")
// stay in the records, also on failure, for the caller to release.
struct ReducedPictures {
    IconImage normal;
    IconImage selected;
    uint32_t normalPalette[256];
    uint32_t selectedPalette[256];
};

// Reduces the first normal 32-bit picture of at most maxWidth x maxHeight in
// the list, and its selected partner when one of the same size follows it,
// to palette pictures whose depth is the fewest bits that hold their highest
// pen; pen 0 is transparent. Returns the normal result (the selected one
// linked behind it), or null when no picture qualifies or a step fails.
IconImage* ReduceToPaletteImages(const IconImage* images, int32_t maxWidth, int32_t maxHeight,
                                 ReducedPictures* reduced);

// The picture ReduceToPaletteImages would reduce, or null when none qualifies.
const IconImage* FindReductionSource(const IconImage* images, int32_t maxWidth, int32_t maxHeight);

// Makes `result` a palette picture of `source`'s size with `palette`, the
// given depth and transparent pen 0, its pens a new uncleared block (memory
// tag "iedata"). False when the size is too large or memory runs out.
bool StartConvertedPicture(const IconImage* source, IconImage* result, uint32_t* palette, int32_t depth);

// Releases the pixel blocks of both results.
void ReleaseReducedPictures(ReducedPictures* reduced);
