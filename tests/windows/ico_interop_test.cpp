// Windows icons against independent readers and writers: Pillow, icoutils'
// icotool and ImageMagick. Pixels are compared as 0xAARRGGBB, fully
// transparent pixels being equal whatever their colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "ico_support.h"

namespace {

using namespace pictra::test;
namespace fs = std::filesystem;

const char* const kPython = "/usr/bin/python3";

bool succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string shellQuoted(const std::string& text) { return "'" + text + "'"; }

std::string peer(const std::string& arguments) {
    return std::string(kPython) + " " + shellQuoted(PICTRA_ICO_PEER) + " " + arguments;
}

// Skips the calling test when a peer is missing; the test command installs them.
#define REQUIRE_PEER(command, what)                                             \
    do {                                                                        \
        if (!succeeds(command)) GTEST_SKIP() << what << " is not installed";    \
    } while (0)
#define REQUIRE_PILLOW() REQUIRE_PEER(std::string(kPython) + " -c 'import PIL'", "Pillow for /usr/bin/python3")
#define REQUIRE_ICOTOOL() REQUIRE_PEER("command -v icotool", "icotool (icoutils)")
#define REQUIRE_CONVERT() REQUIRE_PEER("command -v convert", "ImageMagick convert")

struct PeerEntry {
    bool ok = false;
    uint32_t kind = 0;  // the bitmap's bit count, 0 for a PNG entry
    Picture picture;
};

std::vector<PeerEntry> readDump(const std::string& file) {
    const Bytes bytes = readFile(file);
    std::vector<PeerEntry> entries;
    if (bytes.size() < 8) return entries;
    std::size_t at = 8;
    for (uint32_t i = 0; i < le32At(bytes, 4) && at + 16 <= bytes.size(); ++i) {
        PeerEntry entry;
        entry.ok = le32At(bytes, at) != 0;
        entry.kind = le32At(bytes, at + 4);
        entry.picture.width = static_cast<int32_t>(le32At(bytes, at + 8));
        entry.picture.height = static_cast<int32_t>(le32At(bytes, at + 12));
        at += 16;
        const std::size_t count = static_cast<std::size_t>(entry.picture.width) * entry.picture.height;
        if (at + 4 * count > bytes.size()) break;
        for (std::size_t p = 0; p < count; ++p, at += 4)
            entry.picture.argb.push_back(static_cast<uint32_t>(bytes[at + 3]) << 24 | bytes[at] << 16 |
                                         bytes[at + 1] << 8 | bytes[at + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

class IcoInteropTest : public IcoModuleTest {
protected:
    std::vector<PeerEntry> peerRead(const std::string& tool, const std::string& ico) {
        const std::string dump = path("peer.dump");
        fs::remove(dump);
        EXPECT_TRUE(succeeds(peer(tool + "-read " + shellQuoted(ico) + " " + shellQuoted(dump)))) << tool << " " << ico;
        return readDump(dump);
    }

    // Each picture equals the peer's entry of the same place.
    void expectSame(const std::vector<Picture>& ours, const std::vector<PeerEntry>& theirs, const std::string& who) {
        ASSERT_EQ(ours.size(), theirs.size()) << who;
        for (std::size_t k = 0; k < ours.size(); ++k) {
            ASSERT_TRUE(theirs[k].ok) << who << " could not read entry " << k;
            EXPECT_EQ(ours[k].width, theirs[k].picture.width) << who << " " << k;
            EXPECT_EQ(ours[k].height, theirs[k].picture.height) << who << " " << k;
            EXPECT_EQ(differingPixels(ours[k].argb, theirs[k].picture.argb), 0u) << who << " entry " << k;
        }
    }
};

// Entries the reader leaves out on purpose: a 24-bit bitmap when another
// entry of its size is not 24-bit or comes later.
std::vector<PeerEntry> withoutRepeated24(const std::vector<PeerEntry>& entries) {
    std::vector<PeerEntry> kept;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        bool dropped = false;
        for (std::size_t m = 0; m < entries.size() && entries[k].kind == 24; ++m)
            if (m != k && entries[m].picture.width == entries[k].picture.width &&
                entries[m].picture.height == entries[k].picture.height && (entries[m].kind != 24 || m > k))
                dropped = true;
        if (!dropped) kept.push_back(entries[k]);
    }
    return kept;
}

// Where Pillow and this reader part on purpose; icotool must then agree
// with this reader.
const std::map<std::string, std::string> kPillowDiffers = {
    {"python3-envisage__application.ico",
     "its 32-bit bitmaps are listed with a directory bit count of 0: Pillow then builds the alpha from the AND mask "
     "and drops the stored alpha; the bitmap header's bit count of 32 says the alpha is in the pixels"},
};

TEST_F(IcoInteropTest, EveryCorpusIconMatchesPillowOrIcotoolWhereListed) {
    REQUIRE_PILLOW();
    REQUIRE_ICOTOOL();
    std::vector<fs::path> files;
    for (const auto& item : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "ico"))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 100u);
    // One Pillow run for all files.
    std::string command = "pillow-read";
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " " + shellQuoted(files[i].string()) + " " + shellQuoted(path(std::to_string(i) + ".dump"));
    ASSERT_TRUE(succeeds(peer(command)));

    std::set<std::string> differed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].filename().string();
        SCOPED_TRACE(name);
        auto ours = load(files[i].string());
        ASSERT_TRUE(ours);
        const auto pillow = withoutRepeated24(readDump(path(std::to_string(i) + ".dump")));
        ASSERT_EQ(ours->size(), pillow.size());
        bool same = true;
        for (std::size_t k = 0; k < ours->size(); ++k)
            same = same && pillow[k].ok && differingPixels((*ours)[k].argb, pillow[k].picture.argb) == 0;
        if (same) continue;
        differed.insert(name);
        EXPECT_TRUE(kPillowDiffers.count(name)) << "differs from Pillow without a listed reason";
        expectSame(*ours, withoutRepeated24(peerRead("icotool", files[i].string())), "icotool");
    }
    for (const auto& [name, reason] : kPillowDiffers) EXPECT_TRUE(differed.count(name)) << name << " agrees now";
}

// The sample icon the demo shows, saved by this writer with a PNG entry.
TEST_F(IcoInteropTest, TheSampleIconReadsAlikeEverywhere) {
    REQUIRE_PILLOW();
    REQUIRE_ICOTOOL();
    const std::string sample = std::string(PICTRA_TEST_EXAMPLES) + "/pictra.ico";
    auto ours = load(sample);
    ASSERT_TRUE(ours);
    ASSERT_EQ(ours->size(), 4u);
    EXPECT_EQ((*ours)[2].width, 256);
    expectSame(*ours, peerRead("pillow", sample), "Pillow");
    expectSame(*ours, peerRead("icotool", sample), "icotool");
}

// Files named .ico that hold something else are recognised by their
// content: a PNG loads as a plain PNG icon, a BMP or GIF is refused.
TEST_F(IcoInteropTest, MisnamedFilesAreJudgedByTheirContent) {
    REQUIRE_PILLOW();
    int pngs = 0;
    for (const auto& item : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "ico" / "misnamed")) {
        SCOPED_TRACE(item.path().filename().string());
        const Bytes bytes = readFile(item.path());
        ASSERT_GE(bytes.size(), 4u);
        auto ours = load(item.path().string());
        if (!(bytes[0] == 0x89 && bytes[1] == 'P')) {
            EXPECT_FALSE(ours);
            continue;
        }
        ++pngs;
        ASSERT_TRUE(ours);
        ASSERT_TRUE(succeeds(peer("png-dump " + shellQuoted(path("png.dump")) + " " + shellQuoted(item.path().string()))));
        expectSame(*ours, readDump(path("png.dump")), "Pillow");
    }
    EXPECT_EQ(pngs, 1);
}

// Every depth the writer stores, odd widths among them, plain and compressed.
TEST_F(IcoInteropTest, PillowAndIcotoolReadWhatWeWrite) {
    REQUIRE_PILLOW();
    REQUIRE_ICOTOOL();
    std::unique_ptr<OwnedPicture> pictures[] = {
        trueColourPicture(256, 256), palettePicture(16, 16, 1, 0), palettePicture(20, 20, 1),
        palettePicture(32, 32, 2, 1), palettePicture(33, 33, 4, 7), palettePicture(48, 48, 8, 200),
        palettePicture(24, 24, 6), trueColourPicture(128, 128), trueColourPicture(31, 31)};
    std::vector<OwnedPicture*> list;
    for (auto& picture : pictures) list.push_back(picture.get());
    std::vector<Picture> expected;  // in the file's order
    for (int k : {2, 1, 4, 3, 5, 6, 0, 7, 8}) expected.push_back({list[k]->node.width, list[k]->node.height, 0, expand(list[k]->node)});
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        ASSERT_EQ(save(path("ours.ico"), list, compress), 1);
        expectSame(expected, peerRead("pillow", path("ours.ico")), "Pillow");
        expectSame(expected, peerRead("icotool", path("ours.ico")), "icotool");
    }
}

TEST_F(IcoInteropTest, WeReadWhatIcotoolPillowAndImageMagickWrite) {
    REQUIRE_PILLOW();
    REQUIRE_ICOTOOL();
    REQUIRE_CONVERT();
    // icotool: 1, 4, 8 and 32 bits from the colours of its PNGs, and a PNG entry.
    std::vector<std::string> pngs;
    const std::pair<int, int> sources[] = {{17, 2}, {48, 2}, {31, 16}, {47, 200}, {24, 0}, {64, 0}, {256, 0}};
    for (const auto& [size, colours] : sources) {
        pngs.push_back(path("p" + std::to_string(size) + "-" + std::to_string(colours) + ".png"));
        ASSERT_TRUE(succeeds(peer("picture " + shellQuoted(pngs.back()) + " " + std::to_string(size) + " " +
                                  std::to_string(colours))));
    }
    std::string create = "icotool -c -o " + shellQuoted(path("icotool.ico"));
    for (std::size_t i = 0; i + 1 < pngs.size(); ++i) create += " " + shellQuoted(pngs[i]);
    create += " -r " + shellQuoted(pngs.back());
    ASSERT_TRUE(succeeds(create));
    std::string dump = peer("png-dump " + shellQuoted(path("sources.dump")));
    for (const std::string& png : pngs) dump += " " + shellQuoted(png);
    ASSERT_TRUE(succeeds(dump));
    auto fromIcotool = load(path("icotool.ico"));
    ASSERT_TRUE(fromIcotool);
    expectSame(*fromIcotool, readDump(path("sources.dump")), "the source PNGs");

    // Pillow, with bitmap and with PNG entries; ImageMagick.
    for (const char* format : {"bmp", "png"}) {
        const std::string file = path(std::string("pillow-") + format + ".ico");
        ASSERT_TRUE(succeeds(peer("pillow-write " + shellQuoted(file) + " " + format + " 16 32 48 256")));
        auto ours = load(file);
        ASSERT_TRUE(ours) << format;
        EXPECT_EQ(ours->size(), 4u);
        expectSame(*ours, peerRead("pillow", file), std::string("Pillow ") + format);
    }
    ASSERT_TRUE(succeeds("convert " + shellQuoted(pngs[5]) + " -define icon:auto-resize=16,32,48,256 " +
                         shellQuoted(path("magick.ico"))));
    auto fromMagick = load(path("magick.ico"));
    ASSERT_TRUE(fromMagick);
    EXPECT_EQ(fromMagick->size(), 4u);
    expectSame(*fromMagick, peerRead("pillow", path("magick.ico")), "Pillow on ImageMagick's file");
    expectSame(*fromMagick, peerRead("icotool", path("magick.ico")), "icotool on ImageMagick's file");
}

}  // namespace
