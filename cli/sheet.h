// A contact sheet: every picture of some icons drawn into one picture, on a
// checkerboard so that transparency shows, each labelled under it, the
// pictures of one icon together under the icon's name. Pure integer
// arithmetic throughout, so the same icons give the same sheet everywhere.
//
// Layout: an icon is a block, its title on top and its pictures in rows
// below, each picture with its label lines under it. Blocks flow left to
// right in rows across the sheet and wrap at its width, as the pictures do
// inside a block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/images.h"

namespace pictra::cli {

inline constexpr uint32_t kMaxSheetScale = 16;
inline constexpr uint32_t kSheetBackground = 0xFFFFFFFFu;
inline constexpr uint32_t kSheetInk = 0xFF202020u;
inline constexpr uint32_t kCheckerLight = 0xFFE4E4E4u;
inline constexpr uint32_t kCheckerDark = 0xFFB8B8B8u;
inline constexpr uint32_t kCheckerSquare = 8;  // sheet pixels, whatever the scale
inline constexpr uint32_t kLabelGap = 3;       // between a picture and its label

struct SheetPicture {
    host::Picture picture;           // 0xAARRGGBB, straight alpha
    std::vector<std::string> label;  // lines under it, as fontText() gives them
};

struct SheetIcon {
    std::string title;  // as fontText() gives it
    std::vector<SheetPicture> pictures;
};

struct SheetPlace {  // a top left corner
    uint64_t x = 0;
    uint64_t y = 0;
};

struct SheetLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<SheetPlace> titles;                 // per icon: the title's top left
    std::vector<std::vector<SheetPlace>> pictures;  // per icon, per picture: its top left
    std::vector<uint32_t> titleWidths;              // per icon: the room its title has
};

// Where everything goes, each picture drawn `scale` times its size. Nothing
// with `error` set when the sheet would be larger than kMaxSheetPixels.
inline constexpr uint64_t kMaxSheetPixels = uint64_t{1} << 26;
std::optional<SheetLayout> layoutSheet(const std::vector<SheetIcon>& icons, uint32_t scale,
                                       std::string& error);

// The sheet itself, laid out by layoutSheet().
host::Picture drawSheet(const std::vector<SheetIcon>& icons, const SheetLayout& layout,
                        uint32_t scale);

// The checkerboard colour at (x, y) of a picture placed at the sheet's
// (0, 0): squares of kCheckerSquare, light at the top left.
uint32_t checkerAt(uint32_t x, uint32_t y);

// `pixel` drawn over the opaque `ground`.
uint32_t blendOver(uint32_t pixel, uint32_t ground);

}  // namespace pictra::cli
