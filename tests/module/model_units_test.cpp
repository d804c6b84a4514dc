// The icon model and the load and save dispatch, compiled into the test with
// stand-in format readers and writers, and the one-bit transparency mask
// the Windows and macOS readers share. Allocations failing while pictures
// and records are built, and readers failing half-way, are the damage
// sweep's: it fails each allocation in turn and finds any block left live.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fake_formats.h"
#include "frame/formats.h"
#include "host/tag_list.h"
#include "loaded_module.h"
#include "model/attributes.h"
#include "model/bit_mask.h"
#include "model/icon_image.h"
#include "model/tags.h"

namespace {

using namespace std::string_literals;
using pictra::test::Bytes;
using pictra::test::calls;
using pictra::test::tagUsage;
namespace host = pictra::host;

class ModelTest : public pictra::test::ModuleUnitTest {
protected:
    // An Amiga-looking file whose reader (a stand-in) gives the record
    // these tool types, each text followed by its NUL, ended by one more.
    std::string iconWithToolTypes(const std::string& texts) {
        pictra::test::writeFile(path("tt.info"), {0xE3, 0x10, 0x00, 0x01, 0x55});
        pictra::test::fillRecord = [texts](IconRecord* record) {
            *record = {nullptr, 2, 10, -20, 1, 2, 300, 200, 4, 5, 4096, nullptr, nullptr, nullptr};
            if (texts.empty()) return int32_t{1};
            record->toolTypes = static_cast<char*>(
                host::allocMemory(static_cast<uint32_t>(texts.size() + 1), true, "tooltypes"));
            std::memcpy(record->toolTypes, texts.data(), texts.size());
            return int32_t{1};
        };
        return path("tt.info");
    }

    IconRecord* loadWith(const std::string& file, IconAttributes* attributes) {
        TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(attributes)}, {TagEnd, 0}};
        return LoadIcon(file.c_str(), tags);
    }
};

TEST_F(ModelTest, TagListsAreReadToTheSameBoundByModuleAndHost) {
    for (int at : {int(TagListMaxItems) - 1, int(TagListMaxItems)}) {
        std::vector<TagItem> tags(TagListMaxItems + 2, TagItem{0x77, 1});
        tags[std::size_t(at)] = {SaveTagFormat, 42};
        tags.back() = {TagEnd, 0};
        const bool within = at < TagListMaxItems;
        EXPECT_EQ(GetTagValue(tags.data(), SaveTagFormat, 9), within ? 42u : 9u) << at;
        EXPECT_EQ(host::tagValue(tags.data(), SaveTagFormat).value_or(9), within ? 42u : 9u) << at;
    }
}

// How pictures are sized and linked is walked on every load by the format
// suites and the damage sweep; here the sizes that must allocate nothing.
TEST_F(ModelTest, ImpossiblePictureSizesAllocateNothing) {
    struct Case { int32_t width, height, depth; };
    const Case cases[] = {{-1, 4, 8}, {4, -1, 32}, {INT32_MIN, 1, 8}, {65536, 65536, 8},
                          {32768, 32768, 32}, {65536, 16384, 24}};
    IconImage *head = nullptr, *tail = nullptr;
    const std::size_t before = tagUsage("ic").allocations;
    for (const Case& c : cases)
        EXPECT_EQ(AllocIconImage(nullptr, c.width, c.height, c.depth, -1, 0, &head, &tail), nullptr)
            << c.width << "x" << c.height << "x" << c.depth;
    EXPECT_EQ(tagUsage("ic").allocations, before);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
}

TEST_F(ModelTest, EachMagicWordReachesItsReaderRightAfterIt) {
    struct Case { Bytes bytes; const char* reader; bool named; };
    const Case cases[] = {
        {{'i', 'c', 'n', 's', 0x11}, "mac", false},
        {{0x89, 'P', 'N', 'G', 0x22}, "png", true},
        {{0xE3, 0x10, 0x00, 0x01, 0x33}, "amiga", false},
        {{0x00, 0x00, 0x01, 0x00, 0x44}, "windows", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reader);
        pictra::test::resetFakeFormats();
        const std::string file = path(std::string(c.reader) + ".png");  // the name plays no part
        pictra::test::writeFile(file, c.bytes);
        IconRecord* record = LoadIcon(file.c_str(), nullptr);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::make_tuple(calls.reader, calls.byteAfterMagic, calls.fileName),
                  std::make_tuple(std::string(c.reader), int32_t{c.bytes[4]}, c.named ? file : ""));
        EXPECT_EQ(host::streamCounters().liveStreams, 0u);
        FreeIcon(record);
    }
    // Other words, short and empty files are refused with no reader run (a
    // missing fourth byte is not a 0); the fixture checks that every stream
    // was closed.
    for (const Bytes& refused : {Bytes{0x00, 0x00, 0x02, 0x00}, Bytes{0xE3, 0x10, 0x00, 0x02},
                                 Bytes{'I', 'C', 'N', 'S'}, Bytes{0x89, 'P', 'N'},
                                 Bytes{0x00, 0x00, 0x01}, Bytes{}}) {
        pictra::test::resetFakeFormats();
        pictra::test::writeFile(path("refused"), refused);
        EXPECT_EQ(LoadIcon(path("refused").c_str(), nullptr), nullptr);
        EXPECT_EQ(calls.reader, "");
    }
    EXPECT_EQ(LoadIcon(path("missing").c_str(), nullptr), nullptr);
}

// Attributes are copied from the record; the tool types leave out only
// exact NewIcons lines (texts stored by count keep the empty ones and all
// after them: the tool-type block in frame_units_test).
TEST_F(ModelTest, AttributesAndToolTypeArrayAreCopiedFromTheRecordOrLeftAlone) {
    char* sentinel[] = {nullptr};
    struct Case { std::string texts; std::vector<std::string> kept; bool untouched; };
    const Case cases[] = {
        {"IM1=abc\0FOO=1\0IM2=def\0BAR\0"s, {"FOO=1", "BAR"}, false},
        {"im1=x\0IM1\0IM3=y\0IM2=\0 IM1=z\0"s, {"im1=x", "IM1", "IM3=y", " IM1=z"}, false},
        {"IM1=a\0IM2=b\0"s, {}, false},  // an empty array, not a null pointer
        {""s, {}, true},                 // no tool types: the caller's word stays
        {"\0"s, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.texts));
        IconAttributes attributes{};
        attributes.toolTypes = sentinel;
        IconRecord* record = loadWith(iconWithToolTypes(c.texts), &attributes);
        ASSERT_NE(record, nullptr);
        const IconAttributes& a = attributes;
        EXPECT_EQ(std::make_tuple(a.type, a.currentX, a.currentY, a.drawerLeft, a.drawerTop, a.drawerWidth,
                                  a.drawerHeight, a.drawerViewMode, a.drawerShowAll, a.stackSize, a.defaultTool),
                  std::make_tuple(2, 10, -20, 1, 2, 300, 200, 4, 1, 4096, nullptr));
        EXPECT_EQ(attributes.toolTypes, c.untouched ? sentinel : record->toolTypeArray);
        if (&c == cases) {  // room for four texts and the null; the entries point into the record
            EXPECT_EQ(tagUsage("ttarray").liveBytes, 5 * sizeof(char*));
            EXPECT_EQ(attributes.toolTypes[0], record->toolTypes + 8);
        }
        EXPECT_EQ(record->toolTypeArray == nullptr, c.untouched);
        if (record->toolTypeArray) {
            EXPECT_EQ(pictra::test::toolTypesOf(attributes), c.kept);
        }
        FreeIcon(record);
    }
    // The array is built before any attribute is written: when it fails, the
    // caller's record stays as it was, with nothing pointing into the icon.
    IconAttributes attributes;
    std::memset(&attributes, 0x5A, sizeof attributes);
    const IconAttributes before = attributes;
    host::failAllocationsTagged("ttarray");
    EXPECT_EQ(loadWith(iconWithToolTypes("FOO=1\0"s), &attributes), nullptr);
    EXPECT_EQ(std::memcmp(&attributes, &before, sizeof attributes), 0);
}

// What each writer receives is carried through by the format suites, whose
// corpus round trips save in every format; here the writer's failure.
TEST_F(ModelTest, TheWritersFailureIsTheResultAndTheFileStaysAsWritten) {
    IconImage picture{};
    pictra::test::writerResult = 0;
    TagItem tags[] = {{SaveTagCompress, 1}, {SaveTagFormat, FormatIds[FormatWindows]}, {TagEnd, 0}};
    EXPECT_EQ(SaveIcon(path("failed.ico").c_str(), &picture, tags), 0);
    EXPECT_EQ(std::make_tuple(calls.writer, calls.images, calls.compress),
              std::make_tuple(std::string("windows"), &picture, 1));
    EXPECT_EQ(pictra::test::readFile(path("failed.ico")), (Bytes{'o', 'k'}));
}

// The mask in both row layouts, the choice of the transparent pen and its
// fallbacks.
using BitMaskTest = pictra::test::ModuleUnitTest;
using Rows = std::vector<std::string>;  // top row first; '#' transparent

// The mask of `rows` in `layout`, built bit by bit from the rows' meaning.
// Padding bits and bytes, which belong to no pixel, say "transparent" (set
// in the bottom-up layout, clear in the top-down one): a mask read one bit
// too far per row would hide the next row's first pixel.
std::vector<uint8_t> encodeMask(const Rows& rows, int32_t layout) {
    const bool windows = layout == BitMaskBottomUpPadded;
    const size_t width = rows[0].size(), rowBytes = windows ? (width + 31) / 32 * 4 : (width + 7) / 8;
    std::vector<uint8_t> bytes(rowBytes * rows.size(), windows ? 0xFF : 0x00);
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t x = 0; x < width; ++x)
            if (rows[windows ? rows.size() - 1 - i : i][x] == '.')
                bytes[i * rowBytes + x / 8] ^= static_cast<uint8_t>(0x80 >> (x % 8));
    return bytes;
}

// Applies the mask of `shape` to a picture of `depth` holding `values` (pens,
// or words for depth 32; palette entry n is n * 0x010101): the transparent
// pixels, pen, depth and pixels afterwards; pen -2 when the routine failed.
struct Applied {
    Rows shown;
    int32_t pen, depth;
    std::vector<uint32_t> pixels;
};
Applied apply(const Rows& shape, int32_t layout, int32_t depth, const std::vector<uint32_t>& values) {
    const auto width = static_cast<int32_t>(shape[0].size()), height = static_cast<int32_t>(shape.size());
    IconImage *head = nullptr, *tail = nullptr;
    IconImage* image = AllocIconImage(nullptr, width, height, depth, -1, 0, &head, &tail);
    for (size_t i = 0; i < values.size(); ++i) {
        if (depth <= 8) static_cast<uint8_t*>(image->pixels)[i] = static_cast<uint8_t>(values[i]);
        else static_cast<uint32_t*>(image->pixels)[i] = values[i];
    }
    for (uint32_t pen = 0; image->palette && pen < 256; ++pen) image->palette[pen] = pen * 0x010101u;
    const std::vector<uint8_t> mask = encodeMask(shape, layout);
    Applied result{{}, -2, 0, {}};
    if (ApplyBitMask(mask.data(), static_cast<uint32_t>(mask.size()), image, layout)) {
        result.pen = image->transparentPen;
        result.depth = image->depth;
        for (int32_t i = 0; i < width * height; ++i) {
            const uint32_t v = image->depth <= 8 ? static_cast<uint8_t*>(image->pixels)[i]
                                                 : static_cast<uint32_t*>(image->pixels)[i];
            result.pixels.push_back(v);
            if (i % width == 0) result.shown.emplace_back();
            result.shown.back() += (image->depth <= 8 ? static_cast<int32_t>(v) == result.pen : v >> 24 == 0) ? '#' : '.';
        }
    }
    FreeIconImage(head);
    return result;
}

// Both layouts are read below; row-pad boundaries at odd widths are held
// against Pillow, icotool and icns2png by the Windows and macOS peer tests.
TEST_F(BitMaskTest, TransparentPenIsFreeOrOnlyBehindTheMaskOrMadeByWidening) {
    std::vector<uint32_t> sixteen(32, 3), all(512);
    for (uint32_t i = 0; i < 16; ++i) sixteen[16 + i] = i;
    for (uint32_t i = 0; i < 512; ++i) all[i] = i % 256;
    const Rows small = {"##..", "...."}, wide = {"#" + std::string(15, '.'), std::string(16, '.')};
    const Rows full = {"#" + std::string(255, '.'), std::string(256, '.')};
    struct Case {
        const char* what;
        Rows shape;
        int32_t depth;
        std::vector<uint32_t> values;
        int32_t pen, depthAfter;
    } cases[] = {
        {"smallest pen no pixel holds", small, 4, {0, 1, 2, 4, 0, 1, 2, 4}, 3, 4},
        {"pen held only behind the mask", small, 1, {1, 1, 0, 0, 0, 0, 0, 0}, 1, 1},
        {"a free pen before one held behind the mask", small, 4, {5, 1, 0, 2, 3, 4, 6, 7}, 8, 4},
        {"both 1-bit pens opaque: 4 bits", small, 1, {0, 1, 0, 1, 1, 0, 1, 0}, 2, 4},
        {"all 2-bit pens opaque: 4 bits", small, 2, {0, 1, 2, 3, 0, 1, 2, 3}, 4, 4},
        {"all 16 pens opaque: 8 bits", wide, 4, sixteen, 16, 8},
        {"all 256 pens opaque: true colour", full, 8, all, -1, 32},
        {"no transparent bit: no pen", Rows(2, "...."), 4, {0, 1, 2, 4, 0, 1, 2, 4}, -1, 4},
    };
    for (const Case& c : cases) {
        Applied a = apply(c.shape, c.pen == 16 ? BitMaskTopDownPacked : BitMaskBottomUpPadded, c.depth, c.values);
        EXPECT_EQ(a.pen, c.pen) << c.what;
        EXPECT_EQ(a.depth, c.depthAfter) << c.what;
        EXPECT_EQ(a.shown, c.shape) << c.what;
        for (size_t i = 0; i < c.values.size(); ++i) {  // opaque pixels keep their colour
            if (c.shape[i / c.shape[0].size()][i % c.shape[0].size()] == '#') continue;
            ASSERT_EQ(a.pixels[i], a.depth == 32 ? 0xFF000000u | c.values[i] * 0x010101u : c.values[i]) << c.what << i;
        }
    }
    // Widening to true colour that cannot allocate fails.
    pictra::host::failAllocationNumber(4);  // picture, pixels, palette, then the 32-bit pixels
    EXPECT_EQ(apply(full, BitMaskBottomUpPadded, 8, all).pen, -2);
}

// Rows whose width is no multiple of 8 or 32 end in padding bits (and the
// bottom-up rows in pad bytes), which hide no pixel: here the last pixel of
// each row is the only transparent one. (A mask read past the picture on
// its last row is caught by the ASan builds.)
TEST_F(BitMaskTest, PaddingBitsHideNoPixel) {
    for (int32_t layout : {BitMaskBottomUpPadded, BitMaskTopDownPacked})
        for (int32_t width : {1, 5, 13, 31, 33, 63})
            for (int32_t depth : {4, 32}) {
                SCOPED_TRACE(std::to_string(layout) + ": " + std::to_string(width) + " wide, depth " + std::to_string(depth));
                const Rows shape(3, std::string(size_t(width) - 1, '.') + "#");
                const std::vector<uint32_t> values(size_t(width) * 3, depth == 4 ? 1 : 0x80123456u);
                std::vector<uint32_t> expected(values.size(), depth == 4 ? 1 : 0xFF123456u);
                for (size_t i = size_t(width) - 1; i < expected.size(); i += size_t(width))
                    expected[i] = depth == 4 ? 0 : 0x00123456u;
                const Applied a = apply(shape, layout, depth, values);
                EXPECT_EQ(std::tie(a.shown, a.pixels), std::tie(shape, expected));
                EXPECT_EQ(a.pen, depth == 4 ? 0 : -1);
            }
}

}  // namespace
