// Windows icons through the real module: hand-made files that break one
// rule each, the writer's layout, round trips of every corpus icon, and the
// same module against Pillow, icoutils' icotool and ImageMagick. Pixels are
// compared as 0xAARRGGBB, fully transparent pixels being equal whatever
// their colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "icon_pictures.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;
namespace fs = std::filesystem;

bool peer(const std::string& arguments) {
    return runCommand(std::string(kPython) + " " + quoted(PICTRA_ICO_PEER) + " " + arguments + " >/dev/null 2>&1");
}

bool havePeers() { return havePython("PIL") && runCommand("command -v icotool >/dev/null"); }

class IcoTest : public PictureModuleTest {
protected:
    IcoTest() : PictureModuleTest("WINDOWS", "in.ico") {}
    std::vector<PeerPicture> peerRead(const std::string& tool, const std::string& ico) const {
        fs::remove(path("peer.dump"));
        EXPECT_TRUE(peer(tool + "-read " + quoted(ico) + " " + quoted(path("peer.dump")))) << tool << " " << ico;
        return readPeerDump(path("peer.dump"));
    }
};
using IcoReaderTest = IcoTest;
using IcoWriterTest = IcoTest;

// A palette picture of `depth` whose pens run through a palette of varied
// colours; the pen `transparent` (or none, -1) marks transparent pixels.
IconImage* palettePicture(PictureList& list, int32_t width, int32_t height, int32_t depth,
                          int32_t transparent = -1) {
    IconImage* image = list.add(width, height, depth, transparent);
    for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i)
        pensOf(image)[i] = static_cast<uint8_t>((i * 7 + i / std::size_t(width)) % (1u << depth));
    for (uint32_t pen = 0; pen < 256; ++pen) image->palette[pen] = (pen * 0x9E3779B1u) & 0xFFFFFFu;
    return image;
}

// A 32-bit picture with colour gradients and alpha 0, 128 and 255 areas.
IconImage* trueColourPicture(PictureList& list, int32_t width, int32_t height) {
    IconImage* image = list.add(width, height, 32);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t alpha = x + y < width / 3 ? 0 : (y == height / 2 ? 0x80 : 0xFF);
            wordsOf(image)[y * width + x] = alpha << 24 | uint32_t(x * 255 / width) << 16 |
                                            uint32_t(y * 255 / height) << 8 | uint32_t((x ^ y) * 37 & 255);
        }
    return image;
}

struct Entry {
    uint8_t dirSide;
    Bytes data;
};

// Header, directory and the entries' data in order.
Bytes icoFile(const std::vector<Entry>& entries) {
    ByteBuilder file;
    file.le16(0).le16(1).le16(uint32_t(entries.size()));
    uint32_t offset = 6 + 16 * uint32_t(entries.size());
    for (const Entry& e : entries) {
        file.u8(e.dirSide).u8(e.dirSide).u8(0).u8(0).le16(1).le16(0).le32(uint32_t(e.data.size())).le32(offset);
        offset += uint32_t(e.data.size());
    }
    for (const Entry& e : entries) file.raw(e.data);
    return file;
}

Bytes bitmap(int32_t width, int32_t heightField, uint32_t bitCount, const Bytes& palette, const Bytes& rows,
             const Bytes& mask = {}) {
    ByteBuilder data;
    data.le32(40).le32(uint32_t(width)).le32(uint32_t(heightField)).le16(1).le16(bitCount);
    return data.zeros(16).le32(0).le32(0).raw(palette).raw(rows).raw(mask);
}

// 4-bit, 5 x 2: pens 0-4 in the top row, 5-9 in the bottom row; the mask
// makes the top row's first pixel transparent. Pen p is 0x(255-p)(p)(16p).
Bytes small4Bit(int32_t heightField = 4) {
    ByteBuilder palette;
    for (uint32_t pen = 0; pen < 16; ++pen) palette.u8(pen * 16).u8(pen).u8(255 - pen).u8(0);  // B G R 0
    return bitmap(5, heightField, 4, palette, {0x56, 0x78, 0x90, 0, 0x01, 0x23, 0x40, 0}, {0, 0, 0, 0, 0x80, 0, 0, 0});
}
uint32_t pen16(uint32_t pen) { return 0xFF000000u | (255 - pen) << 16 | pen << 8 | pen * 16; }

// The directory's bytes (0 = 256, smaller, larger) never change the size;
// a negative height stores the top row first (the mask stays bottom-up).
TEST_F(IcoReaderTest, BitmapsDecodeAtTheirHeadersSizeWhateverTheDirectorySays) {
    const std::pair<uint8_t, int32_t> cases[] = {{5, 4}, {0, 4}, {3, 4}, {200, 4}, {5, -4}};
    for (const auto& [dirSide, heightField] : cases) {
        auto pictures = loadBytes(icoFile({{dirSide, small4Bit(heightField)}}));
        ASSERT_TRUE(pictures && pictures->size() == 1) << int(dirSide);
        const Picture& p = (*pictures)[0];
        const uint32_t top = heightField < 0 ? 5 : 0;
        EXPECT_EQ(std::tuple(p.width, p.height, p.depth, p.argb[0] >> 24, p.argb[1], p.argb[9]),
                  std::tuple(5, 2, 4, 0u, pen16(top + 1), pen16(top == 0 ? 9 : 4)))
            << int(dirSide) << " " << heightField;
    }
}

TEST_F(IcoReaderTest, SizesTheFileCannotHoldFailBeforeAnythingIsAllocated) {
    const Bytes valid = icoFile({{5, small4Bit()}});
    ASSERT_TRUE(loadBytes(valid));
    const std::size_t at = 6 + 16;  // the bitmap header
    const std::tuple<const char*, std::size_t, int, uint32_t> cases[] = {
        {"entry count", 4, 2, 0xFFFF},
        {"data offset at the end", 18, 4, uint32_t(valid.size())},
        {"data offset far away", 18, 4, 0xFFFFFFF0u},
        {"width 0", at + 4, 4, 0},
        {"negative width", at + 4, 4, 0xFFFFFFFBu},
        {"huge width", at + 4, 4, 0x7FFFFFFF},
        {"height 1: no picture row", at + 8, 4, 1},
        {"huge height", at + 8, 4, 0x7FFFFFFE},
        {"most negative height", at + 8, 4, 0x80000000u},
        {"colours used beyond the file", at + 32, 4, 255},
        {"bit count 16", at + 14, 2, 16},
        {"header size 0", at, 4, 0},
        {"header size past the end", at, 4, 0x10000},
    };
    for (const auto& [what, offset, width, value] : cases) {
        const std::size_t before = tagUsage("icdata").allocations;
        EXPECT_FALSE(loadBytes(withField(valid, offset, width, value, false))) << what;
        EXPECT_EQ(tagUsage("icdata").allocations, before) << what;
    }
    auto none = loadBytes(icoFile({}));  // an empty directory: no pictures
    EXPECT_TRUE(none && none->empty());
    // Cut pixel rows fail; a cut mask leaves the missing pixels opaque.
    const std::size_t rowsEnd = valid.size() - 8;
    for (const Bytes& cut : truncations(valid)) {
        auto pictures = loadBytes(cut);
        ASSERT_EQ(pictures.has_value(), cut.size() >= rowsEnd) << cut.size();
        EXPECT_TRUE(!pictures || (*pictures)[0].argb[0] >> 24 == (cut.size() > rowsEnd + 4 ? 0u : 255u)) << cut.size();
    }
}

// An entry whose header, rows or PNG data are damaged, or whose data lie
// past the end of the file, is left out; the others load. A 24-bit picture
// gives way to another of its size that is not 24-bit or comes later. With
// every entry left out the load fails.
TEST_F(IcoReaderTest, DamagedEntriesAndRepeated24BitOnesAreLeftOut) {
    auto entry24 = [](int32_t w) { return Entry{0, bitmap(w, 4, 24, {}, Bytes((w * 3 + 3) / 4 * 8, 0x40))}; };
    const Entry good4{5, small4Bit()}, good32{0, bitmap(5, 4, 32, {}, Bytes(40, 0xFF))};
    const Entry badCount{0, bitmap(5, 4, 16, {}, Bytes(40, 0))}, cutRows{0, bitmap(5, 4, 8, {}, Bytes(20, 1))};
    Bytes pngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    pngSignature.resize(48);  // and no chunk
    const Entry badPng{0, pngSignature};
    // Entries, and the pictures left as width * 100 + depth.
    const std::pair<std::vector<Entry>, std::vector<int32_t>> cases[] = {
        {{good4, badCount, good32}, {504, 532}},
        {{badPng, good4, cutRows}, {504}},
        {{entry24(5), badCount, badPng, good32}, {532}},
        {{badCount, badPng, cutRows}, {}},
        {{good4, entry24(5)}, {504}},
        {{entry24(5), entry24(5), entry24(5)}, {532}},  // all 24-bit: the last stays
        {{entry24(3), good32, entry24(5)}, {332, 532}},
    };
    for (const auto& [entries, left] : cases) {
        auto pictures = loadBytes(icoFile(entries));
        ASSERT_EQ(bool(pictures), !left.empty()) << left.size();
        std::vector<int32_t> seen;
        for (const Picture& p : pictures ? *pictures : std::vector<Picture>{}) seen.push_back(p.width * 100 + p.depth);
        EXPECT_EQ(seen, left);
    }
    // The second entry's data start past the end of the file.
    const Bytes two = icoFile({good4, good32});
    auto pictures = loadBytes(withField(two, 6 + 16 + 12, 4, uint32_t(two.size()) + 100, false));
    ASSERT_TRUE(pictures && pictures->size() == 1);
    EXPECT_EQ((*pictures)[0].depth, 4);
}

// Order: by stored bit count, widest first; depths 2-3 as 4 bits, 5-7 as 8;
// pictures the directory cannot describe left out. The directory's bytes
// and the data's order are pinned by the output identity digests, and read
// by Pillow and icotool below.
TEST_F(IcoWriterTest, EntriesRunByBitCountWidestFirstWithoutWhatTheDirectoryCannotHold) {
    PictureList list;
    IconImage* wide32 = trueColourPicture(list, 48, 48);
    trueColourPicture(list, 300, 16);  // too wide
    IconImage* mid8 = palettePicture(list, 32, 32, 8, 5);
    IconImage* big32 = trueColourPicture(list, 256, 256);
    palettePicture(list, 16, 257, 4);  // too tall
    IconImage* mid1 = palettePicture(list, 32, 32, 1);
    trueColourPicture(list, 8, 8)->depth = 24;
    IconImage* two = palettePicture(list, 17, 9, 2, 3);
    IconImage* six = palettePicture(list, 24, 24, 6, 0);
    for (IconImage* p = list.head(); p; p = p->next) p->mark = 0x1234;
    ASSERT_EQ(save(path("out.ico"), list.head()), 1);
    for (IconImage* p = list.head(); p; p = p->next) EXPECT_EQ(p->mark, 0x1234u);  // the caller's words untouched

    const IconImage* order[] = {mid1, two, mid8, six, big32, wide32};
    const int32_t bits[] = {1, 4, 8, 8, 32, 32};
    auto pictures = load(path("out.ico"));
    ASSERT_TRUE(pictures && pictures->size() == 6);
    for (std::size_t k = 0; k < 6; ++k) {
        const Picture& p = (*pictures)[k];
        EXPECT_EQ(std::tuple(p.width, p.height, p.depth), std::tuple(order[k]->width, order[k]->height, bits[k])) << k;
        EXPECT_EQ(differingPixels(p.argb, argbOf(*order[k])), 0u) << k;
    }
    // A palette picture's transparent pen is stored black, whatever colour
    // the picture gave it (pens 3 and 5 here are not black).
    const Bytes file = readFile(path("out.ico"));
    std::size_t coloured = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        if (order[k]->transparentPen < 0 || order[k]->palette[order[k]->transparentPen] == 0) continue;
        const std::size_t entry = le32At(file, 6 + 16 * k + 12) + 40 + 4 * std::size_t(order[k]->transparentPen);
        EXPECT_EQ(le32At(file, entry), 0u) << k;
        ++coloured;
    }
    EXPECT_EQ(coloured, 2u);
    PictureList refused;  // the ones left out above, alone
    trueColourPicture(refused, 300, 16), palettePicture(refused, 16, 257, 4), trueColourPicture(refused, 8, 8)->depth = 24;
    EXPECT_EQ(save(path("none.ico"), refused.head()), 0);
}

TEST_F(IcoWriterTest, CompressionMakesPngEntriesFrom128PixelsOfTrueColour) {
    PictureList list;
    trueColourPicture(list, 128, 128);
    trueColourPicture(list, 127, 127);
    palettePicture(list, 200, 200, 8, 1);
    ASSERT_EQ(save(path("packed.ico"), list.head(), true), 1);
    const Bytes file = readFile(path("packed.ico"));
    // Their order: the palette picture, then the true colour by width
    // (Pillow and icotool read such entries below).
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(file[le32At(file, 6 + 16 * k + 12)], (Bytes{40, 0x89, 40}[k])) << k;
    // A PNG entry keeps the PNG's own size, and needs all the bytes listed:
    // without them it is left out.
    auto shrunk = loadBytes(withField(file, 6 + 16, 2, 0x1010, false));
    ASSERT_TRUE(shrunk);
    EXPECT_EQ((*shrunk)[1].width, 128);
    auto cut = loadBytes(withField(file, 6 + 16 + 8, 4, uint32_t(file.size()), false));
    ASSERT_TRUE(cut);
    ASSERT_EQ(cut->size(), 2u);
    EXPECT_EQ((*cut)[1].width, 127);
}

class IcoInteropTest : public IcoTest {
protected:
    void SetUp() override {
        IcoTest::SetUp();
        if (!havePeers()) GTEST_SKIP() << "needs Pillow for /usr/bin/python3 and icotool (icoutils)";
    }
};

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

// The corpus and the sample icon the demo shows (saved by this writer, with
// a PNG entry): where Pillow and icotool are at hand, the pictures equal
// Pillow's (or icotool's where listed); and each picture, palette ones
// included, comes back through the writer (which groups them by depth) as
// its own copy.
TEST_F(IcoTest, EveryCorpusIconMatchesThePeersAndSurvivesARoundTrip) {
    const bool peers = havePeers();
    std::vector<fs::path> files = corpusFolder("ico");
    ASSERT_GE(files.size(), 100u);
    files.push_back(fs::path(PICTRA_TEST_EXAMPLES) / "pictra.ico");
    std::string command = "pillow-read";  // one Pillow run for all files
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " " + quoted(files[i].string()) + " " + quoted(path(std::to_string(i) + ".dump"));
    ASSERT_TRUE(!peers || peer(command));

    std::set<std::string> differed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].filename().string();
        SCOPED_TRACE(name);
        host::IconPtr record = loadIcon(files[i].string());
        ASSERT_TRUE(record);
        std::vector<Picture> ours = copies(record.get());
        const auto pillow = withoutRepeated24(readPeerDump(path(std::to_string(i) + ".dump")));
        ASSERT_TRUE(!peers || ours.size() == pillow.size());
        bool same = true;
        for (std::size_t k = 0; peers && k < ours.size(); ++k)
            same = same && pillow[k].ok && differingPixels(ours[k].argb, pillow[k].picture.argb) == 0;
        if (!same) {
            differed.insert(name);
            EXPECT_TRUE(kPillowDiffers.count(name)) << "differs from Pillow without a listed reason";
            expectSame(ours, withoutRepeated24(peerRead("icotool", files[i].string())), "icotool");
        }

        std::erase_if(ours, [](const Picture& p) { return p.width > 256 || p.height > 256; });
        ASSERT_EQ(save(path("copy.ico"), record->images), 1);
        auto copy = load(path("copy.ico"));
        ASSERT_TRUE(copy && copy->size() == ours.size());
        for (const Picture& original : ours) {
            auto match = std::find_if(copy->begin(), copy->end(), [&](const Picture& p) {
                return p.width == original.width && p.height == original.height && differingPixels(p.argb, original.argb) == 0;
            });
            ASSERT_NE(match, copy->end()) << original.width << "x" << original.height;
            copy->erase(match);
        }
    }
    for (const auto& [name, reason] : kPillowDiffers) EXPECT_TRUE(!peers || differed.count(name)) << name << " agrees now";
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
        ASSERT_TRUE(ours && peer("png-dump " + quoted(path("png.dump")) + " " + quoted(file.string())));
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
    std::string create = "icotool -c -o " + quoted(path("icotool.ico")), dump = "png-dump " + quoted(path("sources.dump"));
    for (const auto& [size, colours] : {std::pair(17, 2), {48, 2}, {31, 16}, {47, 200}, {24, 0}, {64, 0}, {256, 0}}) {
        pngs.push_back(path("p" + std::to_string(size) + "-" + std::to_string(colours) + ".png"));
        ASSERT_TRUE(peer("picture " + quoted(pngs.back()) + " " + std::to_string(size) + " " + std::to_string(colours)));
        create += (size == 256 ? " -r " : " ") + quoted(pngs.back());
        dump += " " + quoted(pngs.back());
    }
    ASSERT_TRUE(runCommand(create) && peer(dump));
    auto fromIcotool = load(path("icotool.ico"));
    ASSERT_TRUE(fromIcotool);
    expectSame(*fromIcotool, readPeerDump(path("sources.dump")), "the source PNGs");

    // Pillow, with bitmap and with PNG entries; ImageMagick.
    for (const char* format : {"bmp", "png"}) {
        const std::string file = path(std::string("pillow-") + format + ".ico");
        ASSERT_TRUE(peer("pillow-write " + quoted(file) + " " + format + " 16 32 48 256"));
        auto ours = load(file);
        ASSERT_TRUE(ours && ours->size() == 4) << format;
        expectSame(*ours, peerRead("pillow", file), std::string("Pillow ") + format);
    }
    ASSERT_TRUE(runCommand("convert " + quoted(pngs[5]) + " -define icon:auto-resize=16,32,48,256 " +
                           quoted(path("magick.ico"))));
    auto fromMagick = load(path("magick.ico"));
    ASSERT_TRUE(fromMagick && fromMagick->size() == 4);
    expectSame(*fromMagick, peerRead("pillow", path("magick.ico")), "Pillow on ImageMagick's file");
    expectSame(*fromMagick, peerRead("icotool", path("magick.ico")), "icotool on ImageMagick's file");
}

}  // namespace
