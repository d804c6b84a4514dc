// Writing an icon back as the kind of file it was read from. The module
// reports only that a file is an Amiga icon; which of the Amiga savers wrote
// it is told here from the pictures the module read and the file's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pictra/plugin.h"

namespace pictra::cli {

// The saver that keeps what the icon holds: "PNG" for a PNG icon; for an
// Amiga icon "AMIGAOS40" when it has true-colour pictures, "AMIGAOS35" when
// a FORM ICON holds palette pictures, "NEWICON" when its tool types carry
// NewIcons pictures, else "AMIGAOS". `headerFormat` is what iconFormat()
// named, `record` the loaded icon and `bytes` the whole file. Empty for
// other formats.
std::string ownSaverName(std::string_view headerFormat, const IconRecord& record,
                         std::span<const uint8_t> bytes);

// What turning the picture list `before` into `after` would do ("change
// the pixels of picture 1": count, size, flags, transparent pen, the colour
// of any pixel, or a smaller depth), or nothing when they show the same
// pictures.
std::optional<std::string> pictureDifference(const IconImage* before, const IconImage* after);

}  // namespace pictra::cli
