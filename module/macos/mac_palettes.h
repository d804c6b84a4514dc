// The fixed palettes of the 4- and 8-bit pens of macOS icons. The files
// store no palette: every reader and writer of those pens assumes these.
#pragma once

#include <cstdint>

struct MacPalette {
    uint32_t colours[256];  // 0x00RRGGBB
};

// The two colours of the 1-bit icon planes of the "#" types: a clear bit is
// white, a set bit black (pens 0 and 1 of a 1-bit picture).
inline constexpr uint32_t OneBitWhite = 0xFFFFFF;
inline constexpr uint32_t OneBitBlack = 0x000000;

// The 16 colours of the 4-bit pens, pen 0 first; the rest is 0.
inline constexpr MacPalette MacPalette16 = {{
    0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5, 0x0000D4, 0x02ABEA,
    0x1FB714, 0x006411, 0x562C05, 0x90713A, 0xC0C0C0, 0x808080, 0x404040, 0x000000,
}};

namespace mac_palette_detail {

// The ramps step down from 0xEE to 0x11 leaving out the multiples of 0x33,
// which the cube already holds.
inline constexpr uint32_t RampSteps[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};

constexpr MacPalette BuildMacPalette256() {
    MacPalette palette{};
    int32_t pen = 0;
    // The 6 x 6 x 6 cube from white, red slowest, blue fastest, without its
    // last colour (black, which ends the palette instead).
    for (uint32_t red = 0; red < 6; ++red)
        for (uint32_t green = 0; green < 6; ++green)
            for (uint32_t blue = 0; blue < 6 && pen < 215; ++blue)
                palette.colours[pen++] = (0xFF - 0x33 * red) << 16 | (0xFF - 0x33 * green) << 8 |
                                         (0xFF - 0x33 * blue);
    // Red, green, blue and grey ramps, then black.
    for (uint32_t step : RampSteps) palette.colours[pen++] = step << 16;
    for (uint32_t step : RampSteps) palette.colours[pen++] = step << 8;
    for (uint32_t step : RampSteps) palette.colours[pen++] = step;
    for (uint32_t step : RampSteps) palette.colours[pen++] = step << 16 | step << 8 | step;
    palette.colours[pen] = 0x000000;
    return palette;
}

}  // namespace mac_palette_detail

// The 256 colours of the 8-bit pens.
inline constexpr MacPalette MacPalette256 = mac_palette_detail::BuildMacPalette256();
