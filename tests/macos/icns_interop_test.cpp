// Files Pictra writes read the same in Pillow and icns2png, and files that
// png2icns and Pillow write load in Pictra with the pixels they were given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "icns_support.h"
#include "macos/mac_palettes.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;
using IcnsInteropTest = MacIconTest;

// Gradients with flat stripes (so both packet kinds occur), and alpha that
// is 0, varying and 255 across the picture.
std::vector<uint32_t> pattern(uint32_t side) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const uint32_t green = y * 255 / (side - 1), alpha = x < side / 4 ? 0 : x < side / 2 ? green : 255;
            pixels.push_back(alpha << 24 | (x * 255 / (side - 1)) << 16 | green << 8 | (x / 4 + y / 4) % 2 * 200);
        }
    return pixels;
}

TEST_F(IcnsInteropTest, FilesPictraWritesReadTheSameInPillowAndIcns2png) {
    const bool pillow = havePillow(), icns2png = haveTool(kIcns2Png);
    if (!pillow && !icns2png) GTEST_SKIP() << "needs Pillow (python3-pil) or icns2png (icnsutils)";
    PictureList list;
    for (int side : {16, 32, 48, 64, 128, 256, 512, 1024}) {
        const auto pixels = pattern(uint32_t(side));
        std::copy(pixels.begin(), pixels.end(), wordsOf(list.add(side, side, 32)));
    }
    // Pens of the fixed palette in diagonal bands, pen 7 behind the mask.
    for (int side : {16, 32, 48}) {
        IconImage* image = list.add(side, side, 8, 7);
        for (int i = 0; i < side * side; ++i)
            pensOf(image)[i] = i % side + i / side < side / 2 ? 7 : uint8_t(20 + (i % side + 2 * (i / side)) % 200);
        std::copy(std::begin(MacPalette256.colours), std::end(MacPalette256.colours), image->palette);
    }
    const std::string file = path("ours.icns");
    ASSERT_EQ(save(file, list.head()), 1);
    const auto ours = load(file);
    ASSERT_TRUE(ours && ours->size() == 11u);
    auto oursOf = [&](int width, int depth) {
        for (const Picture& picture : *ours)
            if (picture.width == width && picture.depth == depth) return picture.argb;
        ADD_FAILURE() << "no picture " << width << " " << depth;
        return std::vector<uint32_t>{};
    };
    if (pillow) {
        const auto pictures = pillowPictures({file}, folder_)[0];
        ASSERT_EQ(pictures.size(), 8u);  // 16, 32, 48, 64, 128, 256, 512 and 1024 as 512 at double density
        for (const PeerPicture& picture : pictures) {
            ASSERT_TRUE(picture.ok) << picture.picture.width;
            EXPECT_EQ(differingPixels(picture.picture.argb, oursOf(picture.picture.width, 32), true), 0u)
                << picture.picture.width << "@" << picture.kind;
        }
    }
    if (icns2png) {
        const auto pictures = icns2pngPictures(file, folder_ / "icns2png");
        for (const auto& [code, picture] : pictures) {  // it shows transparent pixels black
            const int depth = code == "ics8" || code == "icl8" || code == "ich8" ? 8 : 32;
            EXPECT_EQ(differingPixels(picture.pixels, oursOf(int(picture.width), depth), depth == 32), 0u) << code;
        }
        EXPECT_GE(pictures.size(), 9u);  // the packed and 8-bit pictures, and the PNG sizes it knows
    }
}

// Files icnsutils and Pillow write from PNG sources load with the source
// pixels: packed pictures with their alpha, and PNG elements.
TEST_F(IcnsInteropTest, FilesPng2icnsAndPillowWriteLoadWithTheirPixels) {
    const std::tuple<bool, std::string, std::vector<int>, std::size_t> cases[] = {
        {haveTool(kPng2Icns), kPng2Icns, {16, 32, 48, 128, 256, 512, 1024}, 7},
        // ic07 to ic14: the PNGs of 128, 256, 512, 1024, 32, 64, 256 and 512.
        {havePillow(), peersScript() + " save", {1024, 512, 256, 128, 64, 32}, 8},
    };
    std::size_t ran = 0;
    for (const auto& [available, tool, sides, count] : cases) {
        if (!available) continue;
        SCOPED_TRACE(tool);
        ++ran;
        std::string command = tool + " " + shellQuoted(path("theirs.icns")), output;
        for (int side : sides) {
            const auto pixels = pattern(uint32_t(side));
            const std::string source = path("p" + std::to_string(side) + ".png");
            writeFile(source, host::encodePng(pixels.data(), uint32_t(side), uint32_t(side)));
            command += " " + shellQuoted(source);
        }
        ASSERT_TRUE(runCommand(command + " 2>&1", &output)) << output;
        auto pictures = load(path("theirs.icns"));
        ASSERT_TRUE(pictures && pictures->size() == count);
        for (const Picture& picture : *pictures) {
            ASSERT_EQ(std::pair(picture.depth, picture.height), std::pair(32, picture.width));
            EXPECT_EQ(picture.argb, pattern(uint32_t(picture.width))) << picture.width;
        }
    }
    if (!ran) GTEST_SKIP() << "needs png2icns (icnsutils) or Pillow (python3-pil)";
}

}  // namespace
