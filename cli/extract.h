// `pictra extract`: every picture of an icon as an RGBA PNG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::cli {

// The picture as width x height words 0xAARRGGBB. Palette pictures (depth
// 1-8) go through their palette: the transparent pen gets alpha 0, every
// other pen alpha 255. Deeper pictures are taken as they are. Nothing, with
// `error` set, for a picture whose fields do not describe valid pixels.
std::optional<std::vector<uint32_t>> expandPicture(const IconImage& image, std::string& error);

// "STEM-INDEX.png", STEM being the file name without its last extension.
std::string pictureFileName(const std::string& iconPath, std::size_t index);

// Expands and encodes every picture of the list into `folder`; returns how
// many were written. Throws FileError naming the icon or the PNG on failure.
std::size_t extractPictures(const std::string& iconPath, const IconImage* firstImage,
                            const std::string& folder);

}  // namespace pictra::cli
