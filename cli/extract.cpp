#include "extract.h"

#include <filesystem>

#include <fmt/core.h>

#include "errors.h"
#include "host/images.h"
#include "icon_file.h"
#include "safe_save.h"

namespace pictra::cli {

namespace {

constexpr int32_t kMaxPaletteDepth = 8;
constexpr int32_t kTrueColourDepth = 32;
constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kColourMask = 0x00FFFFFFu;
// As many pixels as a 32768 x 32768 picture; no icon comes near it.
constexpr uint64_t kMaxPixels = uint64_t{1} << 30;

}  // namespace

std::optional<std::vector<uint32_t>> expandPicture(const IconImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = fmt::format("invalid size {}x{}", image.width, image.height);
        return std::nullopt;
    }
    const uint64_t count = uint64_t(uint32_t(image.width)) * uint32_t(image.height);
    if (count > kMaxPixels) {
        error = fmt::format("too large ({}x{})", image.width, image.height);
        return std::nullopt;
    }
    if (image.depth < 1 || image.depth > kTrueColourDepth) {
        error = fmt::format("invalid depth {}", image.depth);
        return std::nullopt;
    }
    const bool paletted = image.depth <= kMaxPaletteDepth;
    if (!image.pixels || (paletted && !image.palette)) {
        error = paletted && image.pixels ? "no palette" : "no pixels";
        return std::nullopt;
    }
    std::vector<uint32_t> rgba(static_cast<std::size_t>(count));
    if (!paletted) {
        const auto* words = static_cast<const uint32_t*>(image.pixels);
        std::copy(words, words + count, rgba.begin());
        return rgba;
    }
    // Index bytes reach at most 255 and the palette always has 256 entries.
    const auto* indexes = static_cast<const uint8_t*>(image.pixels);
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        const uint8_t pen = indexes[i];
        const uint32_t colour = image.palette[pen] & kColourMask;
        rgba[i] = pen == image.transparentPen ? colour : colour | kOpaque;
    }
    return rgba;
}

std::string pictureFileName(const std::string& iconPath, std::size_t index) {
    return fmt::format("{}-{}.png", std::filesystem::path(iconPath).stem().string(), index);
}

std::size_t extractPictures(const std::string& iconPath, const IconImage* firstImage,
                            const std::string& folder) {
    std::size_t index = 0;
    for (const IconImage* image = firstImage; image; image = image->next, ++index) {
        if (index == kMaxListLength) throw FileError(iconPath, "the icon's picture list does not end");
        std::string error;
        const auto rgba = expandPicture(*image, error);
        if (!rgba) throw FileError(iconPath, fmt::format("picture {}: {}", index, error));
        const std::vector<uint8_t> png = host::encodePng(
            rgba->data(), static_cast<uint32_t>(image->width), static_cast<uint32_t>(image->height));
        if (png.empty())
            throw FileError(iconPath, fmt::format("picture {}: PNG encoding failed", index));
        writeFileSafely((std::filesystem::path(folder) / pictureFileName(iconPath, index)).string(),
                        png);
    }
    return index;
}

}  // namespace pictra::cli
