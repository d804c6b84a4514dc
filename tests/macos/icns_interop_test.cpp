// Every real macOS icon of the shared corpus, and the project's sample,
// against Pillow and icns2png, and through the writer; files Pictra writes
// read the same in Pillow and icns2png, and files that png2icns and Pillow
// write load in Pictra with the pixels they were given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/images.h"
#include "icon_pictures.h"
#include "macos/mac_palettes.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;
using IcnsInteropTest = MacIconTest;

const char* const kIcns2Png = "/usr/bin/icns2png";
const char* const kPng2Icns = "/usr/bin/png2icns";
bool haveTool(const char* tool) { return ::access(tool, X_OK) == 0; }
bool havePillow() { return havePython("PIL.IcnsImagePlugin"); }
std::string peersScript() { return std::string(kPython) + " " + quoted(PICTRA_ICNS_PEERS); }

// The codes of the elements of a well-formed file, in order.
std::vector<std::string> elementCodes(const Bytes& file) {
    std::vector<std::string> out;
    for (std::size_t at = 8, length; at + 8 <= file.size(); at += length) {
        length = be32(file, at + 4);
        if (length < 8 || length > file.size() - at) break;
        out.emplace_back(file.begin() + long(at), file.begin() + long(at) + 4);
    }
    return out;
}

// Whether an element of `code` makes one picture when read (the "#" types
// only where nothing else has their size, after all others).
bool makesPicture(const std::string& code) {
    static const std::set<std::string> codes = {
        "ics4", "ics8", "is32", "icp4", "icl4", "icl8", "il32", "icp5", "ich4", "ich8", "ih32", "icp6", "it32",
        "ic07", "ic08", "ic09", "ic10", "ic11", "ic12", "ic13", "ic14", "ic04", "ic05", "icsb", "sb24", "icsB",
        "SB24", "icm4", "icm8"};
    return codes.count(code) != 0;
}

// The pictures the "#" elements of a file make: one for each whose size no
// picture read from the other elements has.
std::size_t oneBitPictures(const std::vector<std::string>& elements, const std::vector<Picture>& loaded,
                           std::size_t others) {
    static const std::map<std::string, std::pair<int, int>> sizes = {
        {"ics#", {16, 16}}, {"ICN#", {32, 32}}, {"ich#", {48, 48}}, {"icm#", {16, 12}}};
    std::size_t count = 0;
    for (const std::string& code : elements) {
        const auto size = sizes.find(code);
        if (size != sizes.end() && std::none_of(loaded.begin(), loaded.begin() + long(std::min(others, loaded.size())),
                                                [&](const Picture& p) { return std::make_pair(p.width, p.height) == size->second; }))
            ++count;
    }
    return count;
}

// The index of the picture the first element of `code` made, or -1.
int pictureOf(const std::vector<std::string>& elements, const std::string& code) {
    int index = 0;
    for (const std::string& element : elements) {
        if (element == code) return makesPicture(code) ? index : -1;
        index += makesPicture(element);
    }
    return -1;
}

// The pictures icns2png extracts from `file` into `folder`, by the element
// of its "WxHxD" name part (none for the 1-bit plane and sizes Pictra has
// no element for).
std::map<std::string, host::Picture> icns2pngPictures(const std::string& file, const fs::path& folder) {
    static const std::map<std::string, std::string> codes = {
        {"16x16x4", "ics4"},   {"32x32x4", "icl4"},     {"48x48x4", "ich4"},      {"16x16x8", "ics8"},
        {"32x32x8", "icl8"},   {"48x48x8", "ich8"},     {"16x12x4", "icm4"},      {"16x12x8", "icm8"},
        {"16x16x1", "ics#"},   {"32x32x1", "ICN#"},     {"48x48x1", "ich#"},      {"16x12x1", "icm#"},
        {"16x16x32", "is32"},  {"32x32x32", "il32"},
        {"48x48x32", "ih32"},  {"128x128x32", "it32"},  {"256x256x32", "ic08"},   {"512x512x32", "ic09"},
        {"1024x1024x32", "ic10"}};
    std::map<std::string, host::Picture> out;
    fs::create_directories(folder);
    runCommand("cd " + quoted(folder.string()) + " && " + kIcns2Png + " -x " + quoted(file) + " >/dev/null 2>&1");
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().stem().string();
        const auto code = codes.find(name.substr(name.rfind('_') + 1));
        if (entry.path().extension() != ".png" || code == codes.end()) continue;
        if (auto picture = host::decodeImage(readFile(entry.path()))) out[code->second] = std::move(*picture);
    }
    return out;
}

// Pillow's pictures of every size of each file (one run for all): the
// kind of each is its scale.
std::vector<std::vector<PeerPicture>> pillowPictures(const std::vector<std::string>& files, const fs::path& folder) {
    std::string command = peersScript() + " dump";
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " " + quoted(files[i]) + " " + quoted((folder / (std::to_string(i) + ".dump")).string());
    runCommand(command);
    std::vector<std::vector<PeerPicture>> out;
    for (std::size_t i = 0; i < files.size(); ++i) out.push_back(readPeerDump((folder / (std::to_string(i) + ".dump")).string()));
    return out;
}

// The element Pillow takes a size from: an image file when the size has
// one, else the packed picture (with its alpha).
std::string pillowElement(const std::vector<std::string>& elements, const PeerPicture& peer) {
    static const std::map<std::string, std::vector<std::string>> bySize = {
        {"512x2", {"ic10"}}, {"512x1", {"ic09"}}, {"256x2", {"ic14"}}, {"256x1", {"ic08"}},
        {"128x2", {"ic13"}}, {"128x1", {"ic07", "it32"}}, {"64x1", {"icp6"}}, {"32x2", {"ic12"}},
        {"48x1", {"ih32"}}, {"32x1", {"icp5", "il32"}}, {"16x2", {"ic11"}}, {"16x1", {"icp4", "is32"}},
    };
    auto found = bySize.find(std::to_string(peer.picture.width / int(peer.kind)) + "x" + std::to_string(peer.kind));
    for (const std::string& code : found == bySize.end() ? std::vector<std::string>{} : found->second)
        if (std::find(elements.begin(), elements.end(), code) != elements.end()) return code;
    return {};
}

std::vector<uint32_t> opaque(std::vector<uint32_t> argb) {
    for (uint32_t& pixel : argb) pixel |= 0xFF000000u;
    return argb;
}

// Each file loads with a picture per image element, and each picture equals
// the one Pillow (which reads no pens) and icns2png (which shows transparent
// pixels black, so only visible colours count) read from the same element.
// Saved as "MACOS" and loaded again, each picture equals the first picture
// of its size and depth in the original, which is the one the writer took.
TEST_F(IcnsInteropTest, EveryCorpusIconMatchesThePeersAndComesBackThroughTheWriter) {
    const bool pillow = havePillow(), icns2png = haveTool(kIcns2Png);
    std::vector<std::string> files;
    for (const fs::path& file : corpusFolder("icns")) files.push_back(file.string());
    ASSERT_GE(files.size(), 70u);
    files.push_back((fs::path(PICTRA_TEST_EXAMPLES) / "pictra.icns").string());  // made by the writer
    const auto pillowDumps = pillow ? pillowPictures(files, folder_) : std::vector<std::vector<PeerPicture>>(files.size());
    std::size_t fromPillow = 0, fromIcns2png = 0, argbAgainstPng = 0;
    std::set<std::string> kinds;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        SCOPED_TRACE(file);
        host::IconPtr record = loadIcon(file);
        ASSERT_TRUE(record);
        const std::vector<Picture> loaded = copies(record.get());
        const auto elements = elementCodes(readFile(file));
        const auto others = std::size_t(std::count_if(elements.begin(), elements.end(), makesPicture));
        EXPECT_EQ(loaded.size(), others + oneBitPictures(elements, loaded, others));
        // Neither peer reads "ic05"; where the file has an "ic11", a PNG of
        // the same 32 pixels, the two agree as shown (some writers round the
        // colours of one or the other, as much as premultiplied alpha does,
        // so a channel times alpha may differ by 2).
        const int ic05 = pictureOf(elements, "ic05"), ic11 = pictureOf(elements, "ic11");
        if (ic05 >= 0 && ic11 >= 0 && loaded[std::size_t(ic11)].width == 32) {
            const auto &argb = loaded[std::size_t(ic05)].argb, &png = loaded[std::size_t(ic11)].argb;
            ASSERT_EQ(argb.size(), png.size());
            for (std::size_t p = 0; p < argb.size(); ++p) {
                const int alpha = int(argb[p] >> 24);
                ASSERT_EQ(alpha, int(png[p] >> 24)) << p;
                for (int shift = 0; shift < 24; shift += 8)
                    ASSERT_LE(std::abs(int(argb[p] >> shift & 0xFF) - int(png[p] >> shift & 0xFF)) * alpha, 2 * 255) << p;
            }
            ++argbAgainstPng;
        }
        for (const PeerPicture& picture : pillowDumps[i]) {
            SCOPED_TRACE("Pillow " + std::to_string(picture.picture.width) + "@" + std::to_string(picture.kind));
            ASSERT_TRUE(picture.ok);
            const std::string code = pillowElement(elements, picture);
            const int index = pictureOf(elements, code);
            ASSERT_TRUE(index >= 0 && std::size_t(index) < loaded.size()) << code;
            const std::vector<uint32_t>& ours = loaded[std::size_t(index)].argb;
            // A palette PNG with a transparency chunk: Pillow hands out the
            // palette picture without the chunk, so all pixels show opaque;
            // the colours agree and Pictra keeps the PNG's alpha.
            if (fs::path(file).filename() == "macIconPack__icons_Gemini_2.icns" && code == "ic11") {
                EXPECT_NE(ours, picture.picture.argb);
                EXPECT_EQ(differingPixels(opaque(ours), opaque(picture.picture.argb), true), 0u) << code;
            } else {
                EXPECT_EQ(differingPixels(ours, picture.picture.argb, true), 0u) << code;
            }
            ++fromPillow;
        }
        const auto icns2pngs = icns2png ? icns2pngPictures(file, folder_ / fs::path(file).stem())
                                        : std::map<std::string, host::Picture>{};
        for (const auto& [code, picture] : icns2pngs) {
            const int index = pictureOf(elements, code);
            if (index < 0) continue;
            const Picture& ours = loaded[std::size_t(index)];
            ASSERT_EQ(uint32_t(ours.width), picture.width) << code;
            EXPECT_EQ(differingPixels(ours.argb, picture.pixels), 0u) << "icns2png " << code;
            kinds.insert(code.substr(0, 3));
            ++fromIcns2png;
        }

        ASSERT_EQ(save(path("copy.icns"), module_->entry().getIconImages(record.get())), 1);
        auto after = load(path("copy.icns"));
        ASSERT_TRUE(after && !after->empty());
        std::set<std::tuple<int, int, int>> seen;
        for (const Picture& picture : *after) {
            EXPECT_TRUE(seen.insert({picture.width, picture.height, picture.depth}).second);
            auto original = std::find_if(loaded.begin(), loaded.end(), [&](const Picture& p) {
                return p.width == picture.width && p.height == picture.height && p.depth == picture.depth;
            });
            ASSERT_NE(original, loaded.end());
            EXPECT_EQ(picture.argb, original->argb) << picture.width << "x" << picture.height;
        }
    }
    EXPECT_GE(fromPillow, pillow ? 370u : 0u);
    EXPECT_GE(argbAgainstPng, 5u);
    if (icns2png) {
        EXPECT_GE(fromIcns2png, 300u);
        // Pens of both depths among them, the 16 x 12 ones too.
        EXPECT_TRUE(kinds.count("icl") && kinds.count("ics") && kinds.count("ich") && kinds.count("icm"));
    }
}

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
            if (code.back() == '#') continue;  // here only the 8-bit pictures' masks
            const int depth = code == "ics8" || code == "icl8" || code == "ich8" ? 8 : 32;
            EXPECT_EQ(differingPixels(picture.pixels, oursOf(int(picture.width), depth), depth == 32), 0u) << code;
        }
        EXPECT_GE(pictures.size(), 9u);  // the packed and 8-bit pictures, and the PNG sizes it knows
    }
}

// 1-bit pictures of the four "#" sizes, saved by Pictra as those elements:
// icns2png (Pillow reads none of them) shows each as Pictra reads it back,
// black and white where the mask is opaque.
TEST_F(IcnsInteropTest, OneBitElementsReadTheSameInIcns2png) {
    if (!haveTool(kIcns2Png)) GTEST_SKIP() << "needs icns2png (icnsutils)";
    PictureList list;
    // White and black, with pen 0 transparent in two of them.
    for (const auto& [width, height] : {std::pair{16, 16}, {32, 32}, {48, 48}, {16, 12}}) {
        IconImage* image = list.add(width, height, 1, width == 16 ? 0 : -1);
        image->palette[0] = 0xFFFFFF;
        for (int i = 0; i < width * height; ++i) pensOf(image)[i] = uint8_t((i % width + i / width) % 3 != 0);
    }
    const std::string file = path("one-bit.icns");
    ASSERT_EQ(save(file, list.head()), 1);
    const auto ours = load(file);
    ASSERT_TRUE(ours && ours->size() == 4u);
    const auto theirs = icns2pngPictures(file, folder_ / "one-bit");
    ASSERT_EQ(theirs.size(), 4u);
    const char* const codes[] = {"ics#", "ICN#", "ich#", "icm#"};  // the order the writer stores them
    for (std::size_t k = 0; k < 4; ++k) {
        const host::Picture& picture = theirs.at(codes[k]);
        EXPECT_EQ(std::make_pair(int(picture.width), int(picture.height)), std::make_pair((*ours)[k].width, (*ours)[k].height));
        EXPECT_EQ(differingPixels(picture.pixels, (*ours)[k].argb), 0u) << codes[k];
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
        std::string command = tool + " " + quoted(path("theirs.icns")), output;
        for (int side : sides) {
            const auto pixels = pattern(uint32_t(side));
            const std::string source = path("p" + std::to_string(side) + ".png");
            writeFile(source, host::encodePng(pixels.data(), uint32_t(side), uint32_t(side)));
            command += " " + quoted(source);
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
