// Files Pictra writes read the same in Pillow and icns2png, and files that
// png2icns and Pillow write load in Pictra with the pixels they were given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "icns_peers.h"
#include "macos/mac_palettes.h"

namespace {

namespace fs = std::filesystem;
using pictra::test::Bytes;
using pictra::test::Picture;
using pictra::test::PictureList;
using IcnsInteropTest = pictra::test::MacIconTest;

// Gradients with flat stripes (so both packet kinds occur), and alpha that
// is 0, varying and 255 across the picture.
std::vector<uint32_t> pattern(uint32_t side) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const uint32_t red = x * 255 / (side - 1);
            const uint32_t green = y * 255 / (side - 1);
            const uint32_t blue = (x / 4 + y / 4) % 2 * 200;
            const uint32_t alpha = x < side / 4 ? 0 : x < side / 2 ? green : 255;
            pixels.push_back(alpha << 24 | red << 16 | green << 8 | blue);
        }
    return pixels;
}

// Pens of the fixed palette in diagonal bands, pen 7 behind the mask.
void fillPens(IconImage* image) {
    auto* pens = pictra::test::pensOf(image);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            pens[y * image->width + x] = x + y < image->width / 2 ? 7 : static_cast<uint8_t>(20 + (x + 2 * y) % 200);
    std::copy(std::begin(MacPalette256.colours), std::end(MacPalette256.colours), image->palette);
}

TEST_F(IcnsInteropTest, FilesPictraWritesReadTheSameInPillowAndIcns2png) {
    const bool pillow = pictra::test::havePillow();
    const bool icns2png = pictra::test::haveTool(pictra::test::kIcns2Png);
    if (!pillow && !icns2png) GTEST_SKIP() << "needs Pillow (python3-pil) or icns2png (icnsutils)";

    PictureList list;
    for (int side : {16, 32, 48, 64, 128, 256, 512, 1024}) {
        const auto pixels = pattern(static_cast<uint32_t>(side));
        std::copy(pixels.begin(), pixels.end(), pictra::test::wordsOf(list.add(side, side, 32)));
    }
    for (int side : {16, 32, 48}) fillPens(list.add(side, side, 8, 7));
    const std::string file = path("ours.icns");
    ASSERT_EQ(save(file, list.head()), 1);
    std::vector<Picture> ours;
    ASSERT_TRUE(load(file, &ours));
    ASSERT_EQ(ours.size(), 11u);
    auto oursOf = [&](int width, int depth) -> const Picture& {
        for (const Picture& picture : ours)
            if (picture.width == width && picture.depth == depth) return picture;
        ADD_FAILURE() << "no picture " << width << " " << depth;
        return ours.front();
    };

    if (pillow) {
        const auto pictures = pictra::test::pillowPictures({file}, folder_ / "pillow");
        ASSERT_EQ(pictures.size(), 8u);  // 16, 32, 48, 64, 128, 256, 512 and 1024 as 512 at double density
        for (const auto& picture : pictures) {
            SCOPED_TRACE(std::to_string(picture.width) + "@" + std::to_string(picture.scale));
            ASSERT_FALSE(picture.failed);
            const Bytes expected = pictra::test::rgbaOf(oursOf(picture.width * picture.scale, 32).pixels);
            EXPECT_EQ(pictra::test::pixelsDiffering(picture.rgba, expected, false), 0u);
        }
    }
    if (icns2png) {
        const auto pictures = pictra::test::icns2pngPictures(file, folder_ / "icns2png");
        std::size_t compared = 0;
        for (const auto& [name, picture] : pictures) {
            SCOPED_TRACE(name);
            const int depth = name.substr(name.rfind('x') + 1) == "8" ? 8 : 32;
            if (name.substr(name.rfind('x') + 1) == "1") continue;  // the 1-bit plane
            const Picture& mine = oursOf(static_cast<int>(picture.width), depth);
            // Palette pictures show transparent pixels black there.
            EXPECT_EQ(pictra::test::pixelsDiffering(pictra::test::rgbaOf(picture.pixels),
                                                    pictra::test::rgbaOf(mine.argb()), depth == 8),
                      0u);
            ++compared;
        }
        EXPECT_GE(compared, 9u);  // the packed and 8-bit pictures, and the PNG sizes it knows
    }
}

// Source pictures of every size as PNG files in the scratch folder.
std::vector<std::string> writeSources(const fs::path& folder, const std::vector<int>& sides) {
    std::vector<std::string> files;
    for (int side : sides) {
        const auto pixels = pattern(static_cast<uint32_t>(side));
        const std::string file = (folder / ("p" + std::to_string(side) + ".png")).string();
        pictra::test::writeFile(file, pictra::host::encodePng(pixels.data(), static_cast<uint32_t>(side),
                                                              static_cast<uint32_t>(side)));
        files.push_back(file);
    }
    return files;
}

// Files icnsutils and Pillow write from PNG sources load with the source
// pixels: packed pictures with their alpha, and PNG elements.
TEST_F(IcnsInteropTest, FilesPng2icnsAndPillowWriteLoadWithTheirPixels) {
    struct Case {
        bool available;
        std::string tool;
        std::vector<int> sides;
        std::size_t pictures;
    } cases[] = {
        {pictra::test::haveTool(pictra::test::kPng2Icns), pictra::test::kPng2Icns, {16, 32, 48, 128, 256, 512, 1024}, 7},
        // ic07 to ic14: the PNGs of 128, 256, 512, 1024, 32, 64, 256 and 512.
        {pictra::test::havePillow(),
         std::string(pictra::test::kPython) + " " + pictra::test::quoted(pictra::test::peersScript()) + " save",
         {1024, 512, 256, 128, 64, 32}, 8},
    };
    std::size_t ran = 0;
    for (const Case& c : cases) {
        if (!c.available) continue;
        SCOPED_TRACE(c.tool);
        ++ran;
        std::string command = c.tool + " " + pictra::test::quoted(path("theirs.icns"));
        for (const std::string& source : writeSources(folder_, c.sides)) command += " " + pictra::test::quoted(source);
        std::string output;
        ASSERT_TRUE(pictra::test::runCommand(command + " 2>&1", &output)) << output;
        std::vector<Picture> pictures;
        ASSERT_TRUE(load(path("theirs.icns"), &pictures));
        ASSERT_EQ(pictures.size(), c.pictures);
        for (const Picture& picture : pictures) {
            SCOPED_TRACE(picture.width);
            ASSERT_EQ(picture.depth, 32);
            ASSERT_EQ(picture.width, picture.height);
            EXPECT_EQ(picture.pixels, pattern(static_cast<uint32_t>(picture.width)));
        }
    }
    if (!ran) GTEST_SKIP() << "needs png2icns (icnsutils) or Pillow (python3-pil)";
}

}  // namespace
