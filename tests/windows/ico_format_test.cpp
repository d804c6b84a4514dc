// Windows icons through the real module: hand-made files that break one
// rule each, the writer's layout, and round trips of every corpus icon.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "byte_builder.h"
#include "ico_support.h"

namespace {

using namespace pictra::test;
namespace fs = std::filesystem;

struct Entry {
    uint8_t dirWidth, dirHeight;
    uint16_t dirBits;
    Bytes data;
};

// Header, directory and the entries' data in order.
Bytes icoFile(const std::vector<Entry>& entries) {
    ByteBuilder file;
    file.le16(0).le16(1).le16(static_cast<uint32_t>(entries.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(entries.size());
    for (const Entry& e : entries) {
        file.u8(e.dirWidth).u8(e.dirHeight).u8(0).u8(0).le16(1).le16(e.dirBits);
        file.le32(static_cast<uint32_t>(e.data.size())).le32(offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const Entry& e : entries) file.raw(e.data);
    return file;
}

Bytes bitmap(int32_t width, int32_t heightField, uint32_t bitCount, uint32_t coloursUsed, const Bytes& palette,
             const Bytes& rows, const Bytes& mask) {
    ByteBuilder data;
    data.le32(40).le32(static_cast<uint32_t>(width)).le32(static_cast<uint32_t>(heightField)).le16(1).le16(bitCount);
    data.zeros(16).le32(coloursUsed).le32(0).raw(palette).raw(rows).raw(mask);
    return data;
}

// 4-bit, 5 x 2, pens 0-4 in the top row and 5-9 in the bottom row; the mask
// makes the top row's first pixel transparent.
const Bytes kPalette16 = [] {
    ByteBuilder palette;
    for (uint32_t pen = 0; pen < 16; ++pen) palette.u8(pen * 16).u8(pen).u8(255 - pen).u8(0);  // B G R 0
    return palette.bytes();
}();
const Bytes kRows4 = {0x56, 0x78, 0x90, 0, 0x01, 0x23, 0x40, 0};  // bottom row first, 4-byte rows
const Bytes kMask5x2 = {0, 0, 0, 0, 0x80, 0, 0, 0};
Bytes small4Bit(int32_t heightField = 4) { return bitmap(5, heightField, 4, 0, kPalette16, kRows4, kMask5x2); }

uint32_t pen16(uint32_t pen) { return 0xFF000000u | (255 - pen) << 16 | pen << 8 | pen * 16; }

using IcoReaderTest = IcoModuleTest;
using IcoWriterTest = IcoModuleTest;

TEST_F(IcoReaderTest, BitmapsDecodeAtTheirHeadersSizeWhateverTheDirectorySays) {
    // The directory bytes (0 = 256, smaller, larger) never change the size;
    // a negative height stores the top row first.
    struct Case {
        uint8_t dirWidth, dirHeight;
        int32_t heightField;
    } cases[] = {{5, 2, 4}, {0, 0, 4}, {3, 1, 4}, {200, 7, 4}, {5, 2, -4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.dirWidth) << "x" << int(c.dirHeight) << " h" << c.heightField);
        auto pictures = loadBytes(icoFile({{c.dirWidth, c.dirHeight, 0, small4Bit(c.heightField)}}));
        ASSERT_TRUE(pictures);
        ASSERT_EQ(pictures->size(), 1u);
        const Picture& p = (*pictures)[0];
        EXPECT_EQ(p.width, 5);
        EXPECT_EQ(p.height, 2);
        EXPECT_EQ(p.depth, 4);
        const bool topDown = c.heightField < 0;
        const uint32_t topLeftPen = topDown ? 5 : 0;
        // The mask is stored bottom row first either way: its set bit is the
        // picture's first pixel of the top row.
        EXPECT_EQ(p.argb[0] >> 24, 0u);
        EXPECT_EQ(p.argb[1], pen16(topLeftPen + 1));
        EXPECT_EQ(p.argb[9], pen16(topDown ? 4 : 9));
    }
}

TEST_F(IcoReaderTest, SizesTheFileCannotHoldFailBeforeAnythingIsAllocated) {
    const Bytes valid = icoFile({{5, 2, 4, small4Bit()}});
    ASSERT_TRUE(loadBytes(valid));
    const std::size_t entry = 6 + 16;
    struct Case {
        const char* what;
        std::size_t offset;
        int width;
        uint32_t value;
    } cases[] = {
        {"entry count", 4, 2, 0xFFFF},
        {"data offset past the end", 6 + 12, 4, static_cast<uint32_t>(valid.size())},
        {"data offset far away", 6 + 12, 4, 0xFFFFFFF0u},
        {"width 0", entry + 4, 4, 0},
        {"negative width", entry + 4, 4, 0xFFFFFFFBu},
        {"huge width", entry + 4, 4, 0x7FFFFFFF},
        {"height 0", entry + 8, 4, 0},
        {"height 1: no picture row", entry + 8, 4, 1},
        {"huge height", entry + 8, 4, 0x7FFFFFFE},
        {"most negative height", entry + 8, 4, 0x80000000u},
        {"colours used beyond the file", entry + 32, 4, 255},
        {"bit count 16", entry + 14, 2, 16},
        {"bit count 0", entry + 14, 2, 0},
        {"header size 0", entry, 4, 0},
        {"header size past the end", entry, 4, 0x10000},
    };
    for (const Case& c : cases) {
        const std::size_t before = tagUsage("icdata").allocations;
        EXPECT_FALSE(loadBytes(withField(valid, c.offset, c.width, c.value, false))) << c.what;
        EXPECT_EQ(tagUsage("icdata").allocations, before) << c.what;
    }
    // An empty directory is a valid icon without pictures.
    auto none = loadBytes(icoFile({}));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST_F(IcoReaderTest, CutPixelRowsFailAndAMissingMaskIsOpaque) {
    const Bytes file = icoFile({{5, 2, 4, small4Bit()}});
    const std::size_t rowsEnd = file.size() - kMask5x2.size();
    for (const Bytes& cut : truncations(file)) {
        auto pictures = loadBytes(cut);
        if (cut.size() < rowsEnd) {
            EXPECT_FALSE(pictures) << cut.size();
            continue;
        }
        ASSERT_TRUE(pictures) << cut.size();
        // The mask's second stored row holds the transparent pixel.
        const bool maskRead = cut.size() > rowsEnd + 4;
        EXPECT_EQ((*pictures)[0].argb[0] >> 24, maskRead ? 0u : 255u) << cut.size();
        EXPECT_EQ((*pictures)[0].argb[1], pen16(1));
    }
}

TEST_F(IcoReaderTest, TwentyFourBitPicturesGiveWayToOthersOfTheirSize) {
    auto entry24 = [&](int32_t width) {
        return Entry{0, 0, 24, bitmap(width, 4, 24, 0, {}, Bytes(static_cast<std::size_t>((width * 3 + 3) / 4 * 4 * 2), 0x40), {})};
    };
    auto entry32 = [](int32_t width) {
        return Entry{0, 0, 32, bitmap(width, 4, 32, 0, {}, Bytes(static_cast<std::size_t>(width * 4 * 2), 0xFF), {})};
    };
    const Entry entry4{0, 0, 4, bitmap(5, 4, 4, 0, kPalette16, kRows4, kMask5x2)};
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        std::vector<int32_t> depths;  // of the pictures that remain, in order
    } cases[] = {
        {"24 before 32", {entry24(5), entry32(5)}, {32}},
        {"24 after 4", {entry4, entry24(5)}, {4}},
        {"all 24: the last stays", {entry24(5), entry24(5), entry24(5)}, {32}},
        {"other sizes stay", {entry24(3), entry32(5), entry24(5)}, {32, 32}},
    };
    for (const Case& c : cases) {
        auto pictures = loadBytes(icoFile(c.entries));
        ASSERT_TRUE(pictures) << c.what;
        std::vector<int32_t> depths;
        for (const Picture& p : *pictures) depths.push_back(p.depth);
        EXPECT_EQ(depths, c.depths) << c.what;
    }
    auto sizes = loadBytes(icoFile({entry24(3), entry32(5), entry24(5)}));
    ASSERT_TRUE(sizes);
    EXPECT_EQ((*sizes)[0].width, 3);
    EXPECT_EQ((*sizes)[0].argb[0], 0xFF404040u);  // no mask: opaque
}

TEST_F(IcoWriterTest, EntriesRunByBitCountWidestFirstAndTheDirectoryLeadsToEach) {
    auto wide32 = trueColourPicture(48, 48);
    auto mid8 = palettePicture(32, 32, 8, 5);
    auto big32 = trueColourPicture(256, 256);
    auto mid1 = palettePicture(32, 32, 1);
    auto two = palettePicture(17, 9, 2, 3);   // stored as 4 bits
    auto six = palettePicture(24, 24, 6, 0);  // stored as 8 bits
    std::vector<OwnedPicture*> list = {wide32.get(), mid8.get(), big32.get(), mid1.get(), two.get(), six.get()};
    for (std::size_t i = 0; i < list.size(); ++i) list[i]->node.mark = static_cast<uint32_t>(0x100 + i);
    ASSERT_EQ(save(path("out.ico"), list), 1);
    for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->node.mark, 0x100 + i);

    const Bytes file = readFile(path("out.ico"));
    const std::vector<OwnedPicture*> order = {mid1.get(), two.get(), mid8.get(), six.get(), big32.get(), wide32.get()};
    const uint32_t bits[] = {1, 4, 8, 8, 32, 32};
    const uint32_t colours[] = {2, 16, 0, 0, 0, 0};
    ASSERT_GE(file.size(), 6u + 16 * order.size());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0, 0, 1, 0, 6, 0}));
    uint32_t expectedOffset = 6 + 16 * static_cast<uint32_t>(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        SCOPED_TRACE(k);
        const uint8_t* record = file.data() + 6 + 16 * k;
        const IconImage& image = order[k]->node;
        EXPECT_EQ(record[0], image.width & 0xFF);
        EXPECT_EQ(record[1], image.height & 0xFF);
        EXPECT_EQ(record[2], colours[k]);
        EXPECT_EQ(record[6] | record[7] << 8, static_cast<int>(bits[k]));
        const uint32_t size = record[8] | record[9] << 8 | record[10] << 16 | static_cast<uint32_t>(record[11]) << 24;
        const uint32_t offset = record[12] | record[13] << 8 | record[14] << 16 | static_cast<uint32_t>(record[15]) << 24;
        EXPECT_EQ(offset, expectedOffset);
        ASSERT_LE(offset + 16u, file.size());
        EXPECT_EQ(file[offset], 40);
        EXPECT_EQ(file[offset + 4] | file[offset + 5] << 8, image.width);
        EXPECT_EQ(file[offset + 14], bits[k]);
        expectedOffset += size;
    }
    EXPECT_EQ(expectedOffset, file.size());

    auto pictures = load(path("out.ico"));
    ASSERT_TRUE(pictures);
    ASSERT_EQ(pictures->size(), order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        EXPECT_EQ((*pictures)[k].depth, static_cast<int32_t>(bits[k])) << k;
        EXPECT_EQ(differingPixels((*pictures)[k].argb, expand(order[k]->node)), 0u) << k;
    }
}

TEST_F(IcoWriterTest, PicturesTheFormatCannotHoldAreLeftOut) {
    auto wide = trueColourPicture(300, 16);
    auto tall = palettePicture(16, 257, 4);
    auto odd = trueColourPicture(16, 16);
    odd->node.depth = 24;
    auto empty = palettePicture(0, 0, 8);
    auto fine = palettePicture(16, 16, 4, 2);
    ASSERT_EQ(save(path("some.ico"), {wide.get(), tall.get(), odd.get(), empty.get(), fine.get()}), 1);
    auto pictures = load(path("some.ico"));
    ASSERT_TRUE(pictures);
    ASSERT_EQ(pictures->size(), 1u);
    EXPECT_EQ((*pictures)[0].width, 16);
    EXPECT_EQ(save(path("none.ico"), {wide.get(), tall.get(), odd.get()}), 0);
    EXPECT_EQ(save(path("empty.ico"), {}), 0);
}

TEST_F(IcoWriterTest, TransparentPixelsAreBlackBehindASetMaskBit) {
    auto picture = palettePicture(20, 2, 4, 3);  // 20 wide: 12-byte colour rows, 4-byte mask rows
    picture->palette[3] = 0xFF00FF;
    picture->palette[1] = 0x123456;
    picture->pens.assign(40, 1);
    picture->pens[0] = 3;    // top row, first pixel
    picture->pens[39] = 3;   // bottom row, last pixel
    ASSERT_EQ(save(path("pen.ico"), {picture.get()}), 1);
    const Bytes file = readFile(path("pen.ico"));
    const std::size_t palette = 22 + 40;
    EXPECT_EQ(Bytes(file.begin() + palette + 12, file.begin() + palette + 16), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(file.begin() + palette + 4, file.begin() + palette + 8), (Bytes{0x56, 0x34, 0x12, 0}));
    const std::size_t mask = palette + 64 + 2 * 12;
    ASSERT_EQ(file.size(), mask + 8);
    EXPECT_EQ(Bytes(file.begin() + mask, file.end()), (Bytes{0, 0, 0x10, 0, 0x80, 0, 0, 0}));
    EXPECT_EQ(picture->palette[3], 0xFF00FFu);  // the caller's palette is only read
}

TEST_F(IcoWriterTest, CompressionMakesPngEntriesFrom128PixelsOfTrueColour) {
    auto png = trueColourPicture(128, 128);
    auto bitmap127 = trueColourPicture(127, 127);
    auto palette = palettePicture(200, 200, 8, 1);
    std::vector<OwnedPicture*> list = {png.get(), bitmap127.get(), palette.get()};
    ASSERT_EQ(save(path("packed.ico"), list, true), 1);
    const Bytes file = readFile(path("packed.ico"));
    auto dataAt = [&](std::size_t k) {
        const uint8_t* r = file.data() + 6 + 16 * k + 12;
        return r[0] | r[1] << 8 | r[2] << 16 | static_cast<std::size_t>(r[3]) << 24;
    };
    // Order: the 8-bit picture, then the 128 and 127 true-colour ones.
    EXPECT_EQ(file[dataAt(0)], 40);
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(dataAt(1)), file.begin() + static_cast<std::ptrdiff_t>(dataAt(1)) + 4),
              (Bytes{0x89, 'P', 'N', 'G'}));
    EXPECT_EQ(file[dataAt(2)], 40);
    auto pictures = load(path("packed.ico"));
    ASSERT_TRUE(pictures);
    ASSERT_EQ(pictures->size(), 3u);
    const OwnedPicture* order[] = {palette.get(), png.get(), bitmap127.get()};
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(differingPixels((*pictures)[k].argb, expand(order[k]->node)), 0u) << k;

    // A PNG entry keeps the PNG's own size whatever the directory says.
    auto shrunk = loadBytes(withField(file, 6 + 16, 2, 0x1010, false));
    ASSERT_TRUE(shrunk);
    EXPECT_EQ((*shrunk)[1].width, 128);
    // ... and needs all the bytes the directory gives it.
    EXPECT_FALSE(loadBytes(withField(file, 6 + 16 + 8, 4, static_cast<uint32_t>(file.size()), false)));
}

std::vector<fs::path> corpusIcons() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "ico"))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Pictures as the writer takes them, pointing into loaded pictures' pixels.
struct Relisted {
    std::vector<std::unique_ptr<OwnedPicture>> owned;
    std::vector<OwnedPicture*> list;
};

Relisted relist(const std::vector<Picture>& pictures) {
    Relisted result;
    for (const Picture& p : pictures) {
        auto owned = std::make_unique<OwnedPicture>();
        owned->words = p.argb;
        owned->node = IconImage{nullptr, owned->words.data(), p.width, p.height, 0, nullptr, -1, 32, 0};
        result.list.push_back(owned.get());
        result.owned.push_back(std::move(owned));
    }
    return result;
}

TEST_F(IcoWriterTest, EveryCorpusIconSurvivesARoundTrip) {
    const auto files = corpusIcons();
    ASSERT_GE(files.size(), 100u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        // Straight from the loaded record, palette pictures included.
        IconRecord* record = module_->entry().loadIcon(file.c_str(), nullptr);
        ASSERT_NE(record, nullptr);
        std::vector<Picture> kept;
        for (IconImage* image = record->images; image; image = image->next)
            if (image->width <= 256 && image->height <= 256)
                kept.push_back({image->width, image->height, image->depth, image->transparentPen, expand(*image)});
        TagItem tags[] = {{SaveTagFormat, windowsId_}, {TagEnd, 0}};
        const int32_t saved = module_->entry().saveIcon(path("copy.ico").c_str(), record->images, tags);
        module_->entry().freeIcon(record);
        ASSERT_EQ(saved, 1);

        auto copy = load(path("copy.ico"));
        ASSERT_TRUE(copy);
        ASSERT_EQ(copy->size(), kept.size());
        // The writer groups by depth; match each picture to its copy.
        std::vector<bool> used(kept.size());
        for (const Picture& original : kept) {
            bool found = false;
            for (std::size_t k = 0; k < copy->size() && !found; ++k)
                if (!used[k] && (*copy)[k].width == original.width && (*copy)[k].height == original.height &&
                    differingPixels((*copy)[k].argb, original.argb) == 0)
                    used[k] = found = true;
            EXPECT_TRUE(found) << original.width << "x" << original.height << " depth " << original.depth;
        }
        // Compressed, from true-colour copies of the pictures.
        Relisted again = relist(kept);
        ASSERT_EQ(save(path("packed.ico"), again.list, true), 1);
        auto packed = load(path("packed.ico"));
        ASSERT_TRUE(packed);
        EXPECT_EQ(packed->size(), kept.size());
    }
}

}  // namespace
