// Windows icons through the real module: hand-made files that break one
// rule each, the writer's layout, and round trips of every corpus icon.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "byte_builder.h"
#include "ico_support.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;
namespace fs = std::filesystem;

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

using IcoReaderTest = IcoTest;
using IcoWriterTest = IcoTest;

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

TEST_F(IcoReaderTest, TwentyFourBitPicturesGiveWayToOthersOfTheirSize) {
    auto entry24 = [](int32_t w) { return Entry{0, bitmap(w, 4, 24, {}, Bytes((w * 3 + 3) / 4 * 8, 0x40))}; };
    const Entry entry32{0, bitmap(5, 4, 32, {}, Bytes(40, 0xFF))}, entry4{0, small4Bit()};
    // Entries, and the pictures left as width * 100 + depth.
    const std::pair<std::vector<Entry>, std::vector<int32_t>> cases[] = {
        {{entry24(5), entry32}, {532}},
        {{entry4, entry24(5)}, {504}},
        {{entry24(5), entry24(5), entry24(5)}, {532}},  // all 24-bit: the last stays
        {{entry24(3), entry32, entry24(5)}, {332, 532}},
    };
    for (const auto& [entries, left] : cases) {
        auto pictures = loadBytes(icoFile(entries));
        ASSERT_TRUE(pictures);
        std::vector<int32_t> seen;
        for (const Picture& p : *pictures) seen.push_back(p.width * 100 + p.depth);
        EXPECT_EQ(seen, left);
    }
}

// Order: by stored bit count, widest first; depths 2-3 as 4 bits, 5-7 as 8;
// pictures the directory cannot describe left out; data in directory order.
TEST_F(IcoWriterTest, EntriesRunByBitCountWidestFirstAndTheDirectoryLeadsToEach) {
    PictureList list;
    IconImage* wide32 = trueColourPicture(list, 48, 48);
    trueColourPicture(list, 300, 16);  // too wide
    IconImage* mid8 = palettePicture(list, 32, 32, 8, 5);
    IconImage* big32 = trueColourPicture(list, 256, 256);
    palettePicture(list, 16, 257, 4);  // too tall
    IconImage* mid1 = palettePicture(list, 32, 32, 1);
    IconImage* odd = trueColourPicture(list, 8, 8);
    IconImage* two = palettePicture(list, 17, 9, 2, 3);
    IconImage* six = palettePicture(list, 24, 24, 6, 0);
    odd->depth = 24;
    for (IconImage* p = list.head(); p; p = p->next) p->mark = 0x1234;
    ASSERT_EQ(save(path("out.ico"), list.head()), 1);
    for (IconImage* p = list.head(); p; p = p->next) EXPECT_EQ(p->mark, 0x1234u);  // the caller's words untouched

    const Bytes file = readFile(path("out.ico"));
    const IconImage* order[] = {mid1, two, mid8, six, big32, wide32};
    const uint8_t bits[] = {1, 4, 8, 8, 32, 32}, colours[] = {2, 16, 0, 0, 0, 0};
    ASSERT_GE(file.size(), 6u + 16 * 6);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0, 0, 1, 0, 6, 0}));
    uint32_t next = 6 + 16 * 6;
    auto pictures = load(path("out.ico"));
    ASSERT_TRUE(pictures && pictures->size() == 6);
    for (std::size_t k = 0; k < 6; ++k) {
        const uint8_t* record = file.data() + 6 + 16 * k;
        EXPECT_EQ(Bytes(record, record + 8), (Bytes{uint8_t(order[k]->width), uint8_t(order[k]->height), colours[k],
                                                    0, 1, 0, bits[k], 0}));
        EXPECT_EQ(le32At(file, 6 + 16 * k + 12), next) << k;
        ASSERT_LE(next + 16u, file.size());
        EXPECT_EQ(le32At(file, next + 4), uint32_t(order[k]->width)) << k;
        next += le32At(file, 6 + 16 * k + 8);
        EXPECT_EQ((*pictures)[k].depth, int32_t(bits[k])) << k;
        EXPECT_EQ(differingPixels((*pictures)[k].argb, argbOf(*order[k])), 0u) << k;
    }
    EXPECT_EQ(next, file.size());
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
    // Their order: the palette picture, then the true colour by width.
    // (Pillow and icotool read these entries in the interoperability test.)
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(file[le32At(file, 6 + 16 * k + 12)], (Bytes{40, 0x89, 40}[k])) << k;
    // A PNG entry keeps the PNG's own size, and needs all the bytes listed.
    auto shrunk = loadBytes(withField(file, 6 + 16, 2, 0x1010, false));
    ASSERT_TRUE(shrunk);
    EXPECT_EQ((*shrunk)[1].width, 128);
    EXPECT_FALSE(loadBytes(withField(file, 6 + 16 + 8, 4, uint32_t(file.size()), false)));
}

TEST_F(IcoWriterTest, EveryCorpusIconSurvivesARoundTrip) {
    int files = 0;
    for (const fs::path& file : corpusFolder("ico")) {
        SCOPED_TRACE(file.filename().string());
        ++files;
        host::IconPtr record = loadIcon(file.string());
        ASSERT_TRUE(record);
        std::vector<Picture> kept = copies(record.get());  // palette pictures included
        std::erase_if(kept, [](const Picture& p) { return p.width > 256 || p.height > 256; });
        ASSERT_EQ(save(path("copy.ico"), record->images), 1);
        auto copy = load(path("copy.ico"));
        ASSERT_TRUE(copy && copy->size() == kept.size());
        // The writer groups by depth: each picture must have its own copy.
        for (const Picture& original : kept) {
            auto match = std::find_if(copy->begin(), copy->end(), [&](const Picture& p) {
                return p.width == original.width && p.height == original.height && differingPixels(p.argb, original.argb) == 0;
            });
            ASSERT_NE(match, copy->end()) << original.width << "x" << original.height;
            copy->erase(match);
        }
    }
    EXPECT_GE(files, 100);
}

}  // namespace
