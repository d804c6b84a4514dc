// What the Windows icon suites share: the real module loaded through the
// host, pictures built in test memory for saving, and loaded icons turned
// into plain pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loaded_module.h"

namespace pictra::test {

// A picture as a caller hands it to SaveIcon; the vectors own its blocks.
struct OwnedPicture {
    IconImage node{};
    std::vector<uint8_t> pens;
    std::vector<uint32_t> words;
    std::vector<uint32_t> palette = std::vector<uint32_t>(256, 0);
};

// A loaded picture: its sizes, depth and pixels as 0xAARRGGBB, palette
// pictures expanded (the transparent pen alpha 0, every other pen 255).
struct Picture {
    int32_t width = 0, height = 0, depth = 0;
    std::vector<uint32_t> argb;
};

inline std::vector<uint32_t> expand(const IconImage& image) {
    const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    std::vector<uint32_t> argb(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (image.depth > 8) {
            argb[i] = static_cast<const uint32_t*>(image.pixels)[i];
            continue;
        }
        const uint8_t pen = static_cast<const uint8_t*>(image.pixels)[i];
        argb[i] = (image.palette[pen] & 0xFFFFFFu) | (pen == image.transparentPen ? 0u : 0xFF000000u);
    }
    return argb;
}

inline uint32_t le32At(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Pixels that differ, counting all fully transparent pixels as equal.
inline std::size_t differingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && ((a[i] >> 24) != 0 || (b[i] >> 24) != 0)) ++count;
    return count;
}

class IcoModuleTest : public LoadedModuleTest {
protected:
    void SetUp() override {
        LoadedModuleTest::SetUp();
        windowsId_ = formatId("WINDOWS");
    }

    // The icon's pictures, or nothing when the module refuses the file.
    std::optional<std::vector<Picture>> load(const std::string& file) {
        host::IconPtr record = loadIcon(file);
        if (!record) return std::nullopt;
        std::vector<Picture> pictures;
        for (IconImage* image : picturesOf(record.get()))
            pictures.push_back({image->width, image->height, image->depth, expand(*image)});
        return pictures;
    }

    std::optional<std::vector<Picture>> loadBytes(const Bytes& bytes) {
        writeFile(path("in.ico"), bytes);
        return load(path("in.ico"));
    }

    // Saves the pictures, linked in the given order, as a Windows icon.
    int32_t save(const std::string& file, std::vector<OwnedPicture*> pictures, bool compress = false) {
        for (std::size_t i = 0; i < pictures.size(); ++i)
            pictures[i]->node.next = i + 1 < pictures.size() ? &pictures[i + 1]->node : nullptr;
        return saveIcon(file, pictures.empty() ? nullptr : &pictures[0]->node, windowsId_, nullptr, compress);
    }

    uint32_t windowsId_ = 0;
};

// A palette picture of `depth` whose pens run through the palette; the pen
// `transparent` (or none, -1) marks transparent pixels.
inline std::unique_ptr<OwnedPicture> palettePicture(int32_t width, int32_t height, int32_t depth,
                                                    int32_t transparent = -1) {
    auto picture = std::make_unique<OwnedPicture>();
    const uint32_t pens = 1u << depth;
    picture->pens.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < picture->pens.size(); ++i)
        picture->pens[i] = static_cast<uint8_t>((i * 7 + i / static_cast<std::size_t>(width)) % pens);
    for (uint32_t pen = 0; pen < 256; ++pen) picture->palette[pen] = (pen * 0x9E3779B1u) & 0xFFFFFFu;
    picture->node = IconImage{nullptr, picture->pens.data(), width, height, 0, picture->palette.data(), transparent,
                              depth, 0};
    return picture;
}

// A 32-bit picture with colour gradients and alpha 0, 128 and 255 areas.
inline std::unique_ptr<OwnedPicture> trueColourPicture(int32_t width, int32_t height) {
    auto picture = std::make_unique<OwnedPicture>();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t alpha = x + y < width / 3 ? 0 : (y == height / 2 ? 0x80 : 0xFF);
            const uint32_t colour = static_cast<uint32_t>(x * 255 / width) << 16 |
                                    static_cast<uint32_t>(y * 255 / height) << 8 | static_cast<uint32_t>((x ^ y) * 37 & 255);
            picture->words.push_back(alpha << 24 | colour);
        }
    picture->node = IconImage{nullptr, picture->words.data(), width, height, 0, nullptr, -1, 32, 0};
    return picture;
}

}  // namespace pictra::test
