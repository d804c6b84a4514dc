// Every real macOS icon of the shared corpus, and the project's sample: it loads, its pictures equal
// what Pillow and icns2png read from the same elements, and it comes back
// unchanged through the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "icns_peers.h"

namespace {

namespace fs = std::filesystem;
using pictra::test::Bytes;
using pictra::test::Picture;

// Each corpus file is loaded once for all the comparisons.
class IcnsCorpusTest : public pictra::test::MacIconTest {
protected:
    const std::vector<Picture>& picturesOf(const std::string& file) {
        static std::map<std::string, std::vector<Picture>> loaded;
        auto found = loaded.find(file);
        if (found != loaded.end()) return found->second;
        std::vector<Picture> pictures;
        EXPECT_TRUE(load(file, &pictures)) << file;
        return loaded[file] = std::move(pictures);
    }
};

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "icns"))
        if (entry.path().extension() == ".icns") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    // The project's own sample, made by the writer.
    files.push_back((fs::path(PICTRA_TEST_EXAMPLES) / "pictra.icns").string());
    return files;
}

// A palette PNG with a transparency chunk: Pillow hands out the palette
// picture without the chunk, so all pixels show opaque; the colours agree
// and Pictra keeps the PNG's alpha.
bool pillowDropsAlpha(const std::string& file, const std::string& element) {
    return fs::path(file).filename() == "macIconPack__icons_Gemini_2.icns" && element == "ic11";
}

Bytes opaque(Bytes rgba) {
    for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 0xFF;
    return rgba;
}

TEST_F(IcnsCorpusTest, PicturesEqualPillows) {
    if (!pictra::test::havePillow()) GTEST_SKIP() << "needs /usr/bin/python3 with Pillow (python3-pil)";
    const auto files = corpusFiles();
    const auto pillow = pictra::test::pillowPictures(files, folder_ / "pillow");
    ASSERT_FALSE(pillow.empty());
    std::size_t compared = 0;
    for (const auto& picture : pillow) {
        const std::string& file = files[static_cast<std::size_t>(picture.fileIndex)];
        SCOPED_TRACE(file + " " + std::to_string(picture.width) + "x" + std::to_string(picture.height) + "@" +
                     std::to_string(picture.scale));
        ASSERT_FALSE(picture.failed);
        const auto elements = pictra::test::icnsElements(pictra::test::readFile(file));
        const std::string code = pictra::test::pillowElement(elements, picture);
        const int index = pictra::test::pictureOf(elements, code);
        ASSERT_GE(index, 0) << code;
        const auto& pictures = picturesOf(file);
        ASSERT_LT(static_cast<std::size_t>(index), pictures.size());
        const Bytes ours = pictra::test::rgbaOf(pictures[static_cast<std::size_t>(index)].argb());
        if (pillowDropsAlpha(file, code)) {
            EXPECT_NE(ours, picture.rgba);
            EXPECT_EQ(pictra::test::pixelsDiffering(opaque(ours), opaque(picture.rgba), false), 0u) << code;
        } else {
            EXPECT_EQ(pictra::test::pixelsDiffering(ours, picture.rgba, false), 0u) << code;
        }
        ++compared;
    }
    EXPECT_GE(compared, 370u);
}

// icns2png also reads the 4- and 8-bit pens with their "#" masks, which
// Pillow does not: their fixed palettes and masks are checked here. It
// shows transparent pixels as black, so only visible colours count.
TEST_F(IcnsCorpusTest, PicturesEqualIcns2pngs) {
    if (!pictra::test::haveTool(pictra::test::kIcns2Png)) GTEST_SKIP() << "needs icns2png (icnsutils)";
    std::size_t compared = 0;
    std::set<std::string> kinds;
    for (const std::string& file : corpusFiles()) {
        SCOPED_TRACE(file);
        const auto elements = pictra::test::icnsElements(pictra::test::readFile(file));
        const auto& pictures = picturesOf(file);
        const auto theirs = pictra::test::icns2pngPictures(file, folder_ / fs::path(file).stem());
        for (const auto& [name, picture] : theirs) {
            const std::string code = pictra::test::icns2pngElement(name);
            const int index = pictra::test::pictureOf(elements, code);
            if (index < 0) continue;  // the 1-bit plane, and sizes Pictra has no type for
            const Picture& ours = pictures[static_cast<std::size_t>(index)];
            ASSERT_EQ(static_cast<uint32_t>(ours.width), picture.width) << name;
            EXPECT_EQ(pictra::test::pixelsDiffering(pictra::test::rgbaOf(ours.argb()),
                                                    pictra::test::rgbaOf(picture.pixels), true),
                      0u)
                << name;
            kinds.insert(code.substr(0, 3));
            ++compared;
        }
    }
    EXPECT_GE(compared, 300u);
    // The pens of both depths were among them.
    EXPECT_TRUE(kinds.count("icl") && kinds.count("ics") && kinds.count("ich"));
}

// Every file loads with a picture per image element; saved as "MACOS" and
// loaded again, each picture equals the first picture of its size and depth
// in the original, which is the one the writer took.
TEST_F(IcnsCorpusTest, EveryFileLoadsAndComesBackThroughTheWriter) {
    const auto files = corpusFiles();
    ASSERT_GE(files.size(), 70u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto& before = picturesOf(file);
        const auto elements = pictra::test::icnsElements(pictra::test::readFile(file));
        EXPECT_EQ(before.size(), static_cast<std::size_t>(std::count_if(
                                     elements.begin(), elements.end(),
                                     [](const auto& element) { return pictra::test::makesPicture(element.code); })));
        IconRecord* record = module_->entry().loadIcon(file.c_str(), nullptr);
        ASSERT_NE(record, nullptr);
        const std::string copy = path("copy.icns");
        const int32_t saved = save(copy, module_->entry().getIconImages(record));
        module_->entry().freeIcon(record);
        ASSERT_EQ(saved, 1);
        std::vector<Picture> after;
        ASSERT_TRUE(load(copy, &after));
        ASSERT_FALSE(after.empty());
        std::set<std::tuple<int, int, int>> seen;
        for (const Picture& picture : after) {
            EXPECT_TRUE(seen.insert({picture.width, picture.height, picture.depth}).second);
            auto original = std::find_if(before.begin(), before.end(), [&](const Picture& p) {
                return p.width == picture.width && p.height == picture.height && p.depth == picture.depth;
            });
            ASSERT_NE(original, before.end());
            EXPECT_EQ(picture.argb(), original->argb()) << picture.width << "x" << picture.height;
        }
    }
}

}  // namespace
