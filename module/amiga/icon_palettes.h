// The colours of classic Amiga icon pictures. Planar pictures carry no
// palette: they are shown with built-in colours chosen by their depth and by
// whether the icon is old-style (its UserData word is 0).
#pragma once

#include <cstdint>

inline constexpr uint32_t PaletteEntries = 256;

// The four colours of new-style icons.
extern const uint32_t IconPalette4[4];
// The four colours of old-style icons.
extern const uint32_t LegacyIconPalette4[4];
// Entries 4-7 of three-plane pictures.
extern const uint32_t IconPaletteExtra4[4];
// Every other entry.
extern const uint32_t DefaultPalette256[PaletteEntries];

// Fills all 256 entries of `palette` for a planar picture of `depth` planes.
void BuildPlanarPalette(uint32_t depth, int32_t oldStyle, uint32_t* palette);
