// A small bitmap font for labels drawn into pictures (the contact sheet):
// stb_easy_font's glyphs, one pixel per unit, printable ASCII only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/images.h"

namespace pictra::cli {

// From the top of one line of text to the top of the next.
inline constexpr uint32_t kFontLineHeight = 12;

// `text` with every character the font lacks (control characters, anything
// beyond ASCII, each UTF-8 sequence counted once) turned into '?'.
std::string fontText(std::string_view utf8);

// The width in pixels of one line of fontText() text.
uint32_t textWidth(std::string_view text);

// Draws one line of fontText() text with its top left corner at (x, y) in
// `colour`; what falls outside the picture is left out.
void drawText(host::Picture& picture, int64_t x, int64_t y, std::string_view text, uint32_t colour);

}  // namespace pictra::cli
