// Every real macOS icon of the shared corpus, and the project's sample: it
// loads, its pictures equal what Pillow and icns2png read from the same
// elements, and it comes back unchanged through the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "icns_support.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;

using IcnsCorpusTest = MacIconTest;

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const fs::path& file : corpusFolder("icns")) files.push_back(file.string());
    files.push_back((fs::path(PICTRA_TEST_EXAMPLES) / "pictra.icns").string());  // made by the writer
    return files;
}

std::vector<uint32_t> opaque(std::vector<uint32_t> argb) {
    for (uint32_t& pixel : argb) pixel |= 0xFF000000u;
    return argb;
}

TEST_F(IcnsCorpusTest, PicturesEqualPillows) {
    if (!havePillow()) GTEST_SKIP() << "needs /usr/bin/python3 with Pillow (python3-pil)";
    const auto files = corpusFiles();
    const auto pillow = pillowPictures(files, folder_);
    std::size_t compared = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto elements = icnsElements(readFile(files[i]));
        const auto loaded = load(files[i]);
        ASSERT_TRUE(loaded) << files[i];
        for (const PeerPicture& picture : pillow[i]) {
            SCOPED_TRACE(files[i] + " " + std::to_string(picture.picture.width) + "@" + std::to_string(picture.kind));
            ASSERT_TRUE(picture.ok);
            const std::string code = pillowElement(elements, picture);
            const int index = pictureOf(elements, code);
            ASSERT_TRUE(index >= 0 && std::size_t(index) < loaded->size()) << code;
            const std::vector<uint32_t>& ours = (*loaded)[std::size_t(index)].argb;
            // A palette PNG with a transparency chunk: Pillow hands out the
            // palette picture without the chunk, so all pixels show opaque;
            // the colours agree and Pictra keeps the PNG's alpha.
            if (fs::path(files[i]).filename() == "macIconPack__icons_Gemini_2.icns" && code == "ic11") {
                EXPECT_NE(ours, picture.picture.argb);
                EXPECT_EQ(differingPixels(opaque(ours), opaque(picture.picture.argb), true), 0u) << code;
            } else {
                EXPECT_EQ(differingPixels(ours, picture.picture.argb, true), 0u) << code;
            }
            ++compared;
        }
    }
    EXPECT_GE(compared, 370u);
}

// icns2png also reads the 4- and 8-bit pens with their "#" masks, which
// Pillow does not: their fixed palettes and masks are checked here. It
// shows transparent pixels as black, so only visible colours count.
TEST_F(IcnsCorpusTest, PicturesEqualIcns2pngs) {
    if (!haveTool(kIcns2Png)) GTEST_SKIP() << "needs icns2png (icnsutils)";
    std::size_t compared = 0;
    std::set<std::string> kinds;
    for (const std::string& file : corpusFiles()) {
        SCOPED_TRACE(file);
        const auto elements = icnsElements(readFile(file));
        const auto loaded = load(file);
        ASSERT_TRUE(loaded);
        for (const auto& [code, picture] : icns2pngPictures(file, folder_ / fs::path(file).stem())) {
            const int index = pictureOf(elements, code);
            if (index < 0) continue;
            const Picture& ours = (*loaded)[std::size_t(index)];
            ASSERT_EQ(uint32_t(ours.width), picture.width) << code;
            EXPECT_EQ(differingPixels(ours.argb, picture.pixels), 0u) << code;
            kinds.insert(code.substr(0, 3));
            ++compared;
        }
    }
    EXPECT_GE(compared, 300u);
    EXPECT_TRUE(kinds.count("icl") && kinds.count("ics") && kinds.count("ich"));  // pens of both depths among them
}

// Every file loads with a picture per image element; saved as "MACOS" and
// loaded again, each picture equals the first picture of its size and depth
// in the original, which is the one the writer took.
TEST_F(IcnsCorpusTest, EveryFileLoadsAndComesBackThroughTheWriter) {
    const auto files = corpusFiles();
    ASSERT_GE(files.size(), 70u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        host::IconPtr record = loadIcon(file);
        ASSERT_TRUE(record);
        const std::vector<Picture> before = copies(record.get());
        const auto elements = icnsElements(readFile(file));
        EXPECT_EQ(before.size(), std::size_t(std::count_if(elements.begin(), elements.end(),
                                                           [](const auto& e) { return makesPicture(e.code); })));
        ASSERT_EQ(save(path("copy.icns"), module_->entry().getIconImages(record.get())), 1);
        auto after = load(path("copy.icns"));
        ASSERT_TRUE(after && !after->empty());
        std::set<std::tuple<int, int, int>> seen;
        for (const Picture& picture : *after) {
            EXPECT_TRUE(seen.insert({picture.width, picture.height, picture.depth}).second);
            auto original = std::find_if(before.begin(), before.end(), [&](const Picture& p) {
                return p.width == picture.width && p.height == picture.height && p.depth == picture.depth;
            });
            ASSERT_NE(original, before.end());
            EXPECT_EQ(picture.argb, original->argb) << picture.width << "x" << picture.height;
        }
    }
}

}  // namespace
