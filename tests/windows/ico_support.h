// What the Windows icon suites share: the module saving "WINDOWS", and
// pictures to save.
#pragma once

#include "icon_pictures.h"

namespace pictra::test {

class IcoTest : public PictureModuleTest {
protected:
    void SetUp() override {
        PictureModuleTest::SetUp();
        format_ = formatId("WINDOWS");
        scratch_ = "in.ico";
    }
};

// A palette picture of `depth` whose pens run through a palette of varied
// colours; the pen `transparent` (or none, -1) marks transparent pixels.
inline IconImage* palettePicture(PictureList& list, int32_t width, int32_t height, int32_t depth,
                                 int32_t transparent = -1) {
    IconImage* image = list.add(width, height, depth, transparent);
    for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i)
        pensOf(image)[i] = static_cast<uint8_t>((i * 7 + i / std::size_t(width)) % (1u << depth));
    for (uint32_t pen = 0; pen < 256; ++pen) image->palette[pen] = (pen * 0x9E3779B1u) & 0xFFFFFFu;
    return image;
}

// A 32-bit picture with colour gradients and alpha 0, 128 and 255 areas.
inline IconImage* trueColourPicture(PictureList& list, int32_t width, int32_t height) {
    IconImage* image = list.add(width, height, 32);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t alpha = x + y < width / 3 ? 0 : (y == height / 2 ? 0x80 : 0xFF);
            wordsOf(image)[y * width + x] = alpha << 24 | uint32_t(x * 255 / width) << 16 |
                                            uint32_t(y * 255 / height) << 8 | uint32_t((x ^ y) * 37 & 255);
        }
    return image;
}

}  // namespace pictra::test
