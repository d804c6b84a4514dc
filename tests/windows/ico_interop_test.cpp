// Windows icons against independent readers and writers: Pillow, icoutils'
// icotool and ImageMagick. Pixels are compared as 0xAARRGGBB, fully
// transparent pixels being equal whatever their colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "ico_support.h"

namespace {

using namespace pictra::test;
namespace fs = std::filesystem;

bool peer(const std::string& arguments) {
    return runCommand(std::string(kPython) + " " + shellQuoted(PICTRA_ICO_PEER) + " " + arguments + " >/dev/null 2>&1");
}

class IcoInteropTest : public IcoTest {
protected:
    void SetUp() override {
        IcoTest::SetUp();
        if (!havePython("PIL") || !runCommand("command -v icotool >/dev/null"))
            GTEST_SKIP() << "needs Pillow for /usr/bin/python3 and icotool (icoutils)";
    }

    std::vector<PeerPicture> peerRead(const std::string& tool, const std::string& ico) {
        fs::remove(path("peer.dump"));
        EXPECT_TRUE(peer(tool + "-read " + shellQuoted(ico) + " " + shellQuoted(path("peer.dump")))) << tool << " " << ico;
        return readPeerDump(path("peer.dump"));
    }

    // Each picture equals the peer's entry of the same place.
    void expectSame(const std::vector<Picture>& ours, const std::vector<PeerPicture>& theirs, const std::string& who) {
        ASSERT_EQ(ours.size(), theirs.size()) << who;
        for (std::size_t k = 0; k < ours.size(); ++k) {
            ASSERT_TRUE(theirs[k].ok) << who << " could not read entry " << k;
            EXPECT_EQ(std::pair(ours[k].width, ours[k].height), std::pair(theirs[k].picture.width, theirs[k].picture.height))
                << who << " " << k;
            EXPECT_EQ(differingPixels(ours[k].argb, theirs[k].picture.argb), 0u) << who << " entry " << k;
        }
    }
};

// Entries the reader leaves out on purpose: a 24-bit bitmap when another
// entry of its size is not 24-bit or comes later.
std::vector<PeerPicture> withoutRepeated24(const std::vector<PeerPicture>& entries) {
    std::vector<PeerPicture> kept;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        bool dropped = false;
        for (std::size_t m = 0; m < entries.size() && entries[k].kind == 24; ++m)
            dropped = dropped || (m != k && entries[m].picture.width == entries[k].picture.width &&
                                  entries[m].picture.height == entries[k].picture.height && (entries[m].kind != 24 || m > k));
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

// The corpus and the sample icon the demo shows (saved by this writer,
// with a PNG entry).
TEST_F(IcoInteropTest, EveryCorpusIconMatchesPillowOrIcotoolWhereListed) {
    std::vector<fs::path> files = corpusFolder("ico");
    ASSERT_GE(files.size(), 100u);
    files.push_back(fs::path(PICTRA_TEST_EXAMPLES) / "pictra.ico");
    std::string command = "pillow-read";  // one Pillow run for all files
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " " + shellQuoted(files[i].string()) + " " + shellQuoted(path(std::to_string(i) + ".dump"));
    ASSERT_TRUE(peer(command));

    std::set<std::string> differed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].filename().string();
        SCOPED_TRACE(name);
        auto ours = load(files[i].string());
        ASSERT_TRUE(ours);
        const auto pillow = withoutRepeated24(readPeerDump(path(std::to_string(i) + ".dump")));
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

// Files named .ico that hold something else are recognised by their
// content: a PNG loads as a plain PNG icon, a BMP or GIF is refused.
TEST_F(IcoInteropTest, MisnamedFilesAreJudgedByTheirContent) {
    int pngs = 0;
    for (const fs::path& file : corpusFolder("ico/misnamed")) {
        SCOPED_TRACE(file.filename().string());
        const Bytes bytes = readFile(file);
        ASSERT_GE(bytes.size(), 4u);
        auto ours = load(file.string());
        if (!(bytes[0] == 0x89 && bytes[1] == 'P')) {
            EXPECT_FALSE(ours);
            continue;
        }
        ++pngs;
        ASSERT_TRUE(ours && peer("png-dump " + shellQuoted(path("png.dump")) + " " + shellQuoted(file.string())));
        expectSame(*ours, readPeerDump(path("png.dump")), "Pillow");
    }
    EXPECT_EQ(pngs, 1);
}

// Every depth the writer stores, odd widths among them, plain and compressed.
TEST_F(IcoInteropTest, PillowAndIcotoolReadWhatWeWrite) {
    PictureList list;
    const std::vector<IconImage*> made = {
        trueColourPicture(list, 256, 256), palettePicture(list, 16, 16, 1, 0), palettePicture(list, 20, 20, 1),
        palettePicture(list, 32, 32, 2, 1), palettePicture(list, 33, 33, 4, 7), palettePicture(list, 48, 48, 8, 200),
        palettePicture(list, 24, 24, 6), trueColourPicture(list, 128, 128), trueColourPicture(list, 31, 31)};
    std::vector<Picture> expected;  // in the file's order
    for (int k : {2, 1, 4, 3, 5, 6, 0, 7, 8}) expected.push_back({made[k]->width, made[k]->height, 0, -1, argbOf(*made[k])});
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        ASSERT_EQ(save(path("ours.ico"), list.head(), compress), 1);
        expectSame(expected, peerRead("pillow", path("ours.ico")), "Pillow");
        expectSame(expected, peerRead("icotool", path("ours.ico")), "icotool");
    }
}

TEST_F(IcoInteropTest, WeReadWhatIcotoolPillowAndImageMagickWrite) {
    if (!runCommand("command -v convert >/dev/null")) GTEST_SKIP() << "needs ImageMagick's convert";
    // icotool: 1, 4, 8 and 32 bits from the colours of its PNGs, and a PNG entry.
    std::vector<std::string> pngs;
    std::string create = "icotool -c -o " + shellQuoted(path("icotool.ico")), dump = "png-dump " + shellQuoted(path("sources.dump"));
    for (const auto& [size, colours] : {std::pair(17, 2), {48, 2}, {31, 16}, {47, 200}, {24, 0}, {64, 0}, {256, 0}}) {
        pngs.push_back(path("p" + std::to_string(size) + "-" + std::to_string(colours) + ".png"));
        ASSERT_TRUE(peer("picture " + shellQuoted(pngs.back()) + " " + std::to_string(size) + " " + std::to_string(colours)));
        create += (size == 256 ? " -r " : " ") + shellQuoted(pngs.back());
        dump += " " + shellQuoted(pngs.back());
    }
    ASSERT_TRUE(runCommand(create) && peer(dump));
    auto fromIcotool = load(path("icotool.ico"));
    ASSERT_TRUE(fromIcotool);
    expectSame(*fromIcotool, readPeerDump(path("sources.dump")), "the source PNGs");

    // Pillow, with bitmap and with PNG entries; ImageMagick.
    for (const char* format : {"bmp", "png"}) {
        const std::string file = path(std::string("pillow-") + format + ".ico");
        ASSERT_TRUE(peer("pillow-write " + shellQuoted(file) + " " + format + " 16 32 48 256"));
        auto ours = load(file);
        ASSERT_TRUE(ours && ours->size() == 4) << format;
        expectSame(*ours, peerRead("pillow", file), std::string("Pillow ") + format);
    }
    ASSERT_TRUE(runCommand("convert " + shellQuoted(pngs[5]) + " -define icon:auto-resize=16,32,48,256 " +
                           shellQuoted(path("magick.ico"))));
    auto fromMagick = load(path("magick.ico"));
    ASSERT_TRUE(fromMagick && fromMagick->size() == 4);
    expectSame(*fromMagick, peerRead("pillow", path("magick.ico")), "Pillow on ImageMagick's file");
    expectSame(*fromMagick, peerRead("icotool", path("magick.ico")), "icotool on ImageMagick's file");
}

}  // namespace
