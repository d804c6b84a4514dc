// The picture codecs of classic Amiga icons: planar bitmaps with their
// built-in colours, and the value packing of NewIcons lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "amiga/icon_palettes.h"
#include "amiga/newicons_codec.h"
#include "amiga/planar_codec.h"
#include "amiga_test_support.h"

namespace {

using pictra::test::blockOf;
using pictra::test::linesOf;
using Bytes = std::vector<uint8_t>;

// ---- Planar bitmaps ----------------------------------------------------------

Bytes encodePlanar(const Bytes& pens, uint32_t width, uint32_t height, uint32_t depth) {
    uint32_t bytes = 0;
    EXPECT_TRUE(PlanarBitmapBytes(width, height, depth, &bytes));
    Bytes planes(bytes, 0xEE);
    EXPECT_EQ(EncodePlanarPixels(pens.data(), uint32_t(pens.size()), width, height, depth, planes.data(),
                                 bytes),
              1);
    return planes;
}

TEST(PlanarCodec, BitOrderPlaneOrderAndRowPadding) {
    // 45 pixels a row: RowBytes 6, the last 3 bits of each row are padding.
    const uint32_t width = 45, height = 2, depth = 2;
    EXPECT_EQ(PlanarRowBytes(45), 6u);
    EXPECT_EQ(PlanarRowBytes(16), 2u);
    EXPECT_EQ(PlanarRowBytes(17), 4u);
    EXPECT_EQ(PlanarRowBytes(0), 0u);
    Bytes pens(width * height, 0);
    pens[0] = 1;           // row 0, leftmost pixel: plane 0 only
    pens[9] = 2;           // row 0, pixel 9: plane 1 only
    pens[44] = 3;          // row 0, last pixel: both planes
    pens[width + 7] = 0xFD;  // row 1, pixel 7: bits above the depth are dropped
    const Bytes planes = encodePlanar(pens, width, height, depth);
    ASSERT_EQ(planes.size(), 2u * 2u * 6u);
    const Bytes plane0Row0 = {0x80, 0x00, 0x00, 0x00, 0x00, 0x08};
    const Bytes plane0Row1 = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Bytes plane1Row0 = {0x00, 0x40, 0x00, 0x00, 0x00, 0x08};
    const Bytes plane1Row1 = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(planes.begin(), planes.begin() + 6), plane0Row0);
    EXPECT_EQ(Bytes(planes.begin() + 6, planes.begin() + 12), plane0Row1);
    EXPECT_EQ(Bytes(planes.begin() + 12, planes.begin() + 18), plane1Row0);
    EXPECT_EQ(Bytes(planes.begin() + 18, planes.end()), plane1Row1);

    // Decoding gives the pens back, the dropped bits stay dropped, and set
    // padding bits in the file are ignored.
    Bytes padded = planes;
    padded[5] |= 0x07;
    Bytes back(width * height, 0);
    const PlanarPlacement placement{width, height, depth, 0, 0, width, height};
    ASSERT_EQ(DecodePlanarPixels(padded.data(), uint32_t(padded.size()), placement, back.data(),
                                 uint32_t(back.size())),
              1);
    pens[width + 7] = 1;
    EXPECT_EQ(back, pens);
}

TEST(PlanarCodec, EveryDepthRoundTrips) {
    std::mt19937 random(7);
    for (uint32_t depth = 1; depth <= MaxPlanarDepth; ++depth) {
        for (uint32_t width : {1u, 15u, 16u, 17u, 64u}) {
            const uint32_t height = 3;
            Bytes pens(width * height);
            for (uint8_t& pen : pens) pen = uint8_t(random() & ((1u << depth) - 1));
            const Bytes planes = encodePlanar(pens, width, height, depth);
            Bytes back(pens.size(), 0);
            const PlanarPlacement placement{width, height, depth, 0, 0, width, height};
            ASSERT_EQ(DecodePlanarPixels(planes.data(), uint32_t(planes.size()), placement, back.data(),
                                         uint32_t(back.size())),
                      1);
            EXPECT_EQ(back, pens) << "depth " << depth << " width " << width;
        }
    }
}

// Decodes an all-ones one-plane bitmap onto a canvas and returns the
// columns and rows that were set.
std::pair<uint32_t, uint32_t> copiedExtent(const PlanarPlacement& placement) {
    const Bytes planes(PlanarRowBytes(placement.width) * placement.height, 0xFF);
    Bytes canvas(placement.canvasWidth * placement.canvasHeight, 0);
    EXPECT_EQ(DecodePlanarPixels(planes.data(), uint32_t(planes.size()), placement, canvas.data(),
                                 uint32_t(canvas.size())),
              1);
    uint32_t columns = 0, rows = 0;
    for (uint32_t y = 0; y < placement.canvasHeight; ++y)
        for (uint32_t x = 0; x < placement.canvasWidth; ++x)
            if (canvas[y * placement.canvasWidth + x]) {
                columns = std::max(columns, x + 1);
                rows = std::max(rows, y + 1);
            }
    // Whatever was copied sits in the top-left corner as one block.
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x) EXPECT_EQ(canvas[y * placement.canvasWidth + x], 1);
    return {columns, rows};
}

TEST(PlanarCodec, EdgesOnlyClipAndThePictureLandsTopLeft) {
    struct Case {
        PlanarPlacement placement;
        uint32_t columns, rows;
    };
    const Case cases[] = {
        {{40, 10, 1, 8, 0, 44, 10}, 36, 10},  // 40 wide at left 8 on 44: 36 columns at 0-35
        {{40, 10, 1, 0, 0, 44, 12}, 40, 10},  // smaller than the canvas: the rest stays pen 0
        {{10, 10, 1, 0, 6, 10, 12}, 10, 6},   // top edge clips rows the same way
        {{10, 10, 1, 50, 0, 44, 10}, 0, 0},   // left edge beyond the canvas: nothing copied
        {{10, 10, 1, 0, 0, 0, 0}, 0, 0},      // an empty canvas
    };
    for (const Case& c : cases) {
        const auto [columns, rows] = copiedExtent(c.placement);
        EXPECT_EQ(columns, c.columns) << "left " << c.placement.left << " top " << c.placement.top;
        EXPECT_EQ(rows, c.rows) << "left " << c.placement.left << " top " << c.placement.top;
    }
}

TEST(PlanarCodec, RefusesDeepBitmapsAndShortBlocks) {
    Bytes planes(64, 0xFF), pens(64, 0);
    const PlanarPlacement deep{8, 1, 9, 0, 0, 8, 1};
    EXPECT_EQ(DecodePlanarPixels(planes.data(), 64, deep, pens.data(), 64), 0);
    const PlanarPlacement wide{16, 4, 2, 0, 0, 16, 4};  // needs 16 bytes of planes, 64 pens
    EXPECT_EQ(DecodePlanarPixels(planes.data(), 15, wide, pens.data(), 64), 0);
    EXPECT_EQ(DecodePlanarPixels(planes.data(), 16, wide, pens.data(), 63), 0);
    EXPECT_EQ(pens, Bytes(64, 0));
    EXPECT_EQ(EncodePlanarPixels(pens.data(), 64, 16, 4, 9, planes.data(), 64), 0);
    EXPECT_EQ(EncodePlanarPixels(pens.data(), 63, 16, 4, 1, planes.data(), 64), 0);
    EXPECT_EQ(EncodePlanarPixels(pens.data(), 64, 16, 4, 2, planes.data(), 15), 0);
    uint32_t bytes = 0;
    EXPECT_EQ(PlanarBitmapBytes(0xFFFF, 0xFFFF, 16, &bytes), 0);  // 8 GiB
    EXPECT_EQ(PlanarBitmapBytes(0xFFFF, 0xFFFF, 8, &bytes), 1);
    EXPECT_EQ(bytes, 8192u * 65535u * 8u);
}

TEST(PlanarPalette, ChosenByDepthAndStyle) {
    struct Case {
        uint32_t depth;
        int32_t oldStyle;
        std::vector<uint32_t> first8;
    };
    const std::vector<uint32_t> defaults(DefaultPalette256, DefaultPalette256 + 8);
    const Case cases[] = {
        {1, 0, defaults},
        {1, 1, defaults},
        {2, 0, {0x959595, 0x000000, 0xFFFFFF, 0x3B67A2, 0x0000F0, 0xF000F0, 0x00F0F0, 0xF0F0F0}},
        {2, 1, {0x0055AA, 0xFFFFFF, 0x000000, 0xFF8800, 0x0000F0, 0xF000F0, 0x00F0F0, 0xF0F0F0}},
        {3, 0, {0x959595, 0x000000, 0xFFFFFF, 0x3B67A2, 0x7B7B7B, 0xAFAFAF, 0xAA907C, 0xFFA997}},
        {3, 1, {0x0055AA, 0xFFFFFF, 0x000000, 0xFF8800, 0x7B7B7B, 0xAFAFAF, 0xAA907C, 0xFFA997}},
        {4, 1, defaults},
        {8, 0, defaults},
    };
    EXPECT_EQ(defaults[0], 0xC0C0C0u);
    EXPECT_EQ(defaults[1], 0x000000u);
    EXPECT_EQ(DefaultPalette256[255], 0xE09000u);
    for (const Case& c : cases) {
        std::vector<uint32_t> palette(256, 0xDEADBEEF);
        BuildPlanarPalette(c.depth, c.oldStyle, palette.data());
        EXPECT_EQ(std::vector<uint32_t>(palette.begin(), palette.begin() + 8), c.first8)
            << "depth " << c.depth << " old-style " << c.oldStyle;
        EXPECT_EQ(std::vector<uint32_t>(palette.begin() + 8, palette.end()),
                  std::vector<uint32_t>(DefaultPalette256 + 8, DefaultPalette256 + 256));
    }
}

// ---- NewIcons values ---------------------------------------------------------

Bytes encodeValues(const Bytes& values, uint32_t bits, const std::string& prefix, uint32_t* lines) {
    const uint32_t bound = NewIconsEncodedBound(uint32_t(values.size()), bits);
    Bytes out(bound);
    uint32_t used = 0;
    *lines = 0;
    EXPECT_EQ(EncodeNewIconValues(values.data(), uint32_t(values.size()), bits, prefix.data(),
                                  uint32_t(prefix.size()), out.data(), bound, &used, lines),
              1);
    out.resize(used);
    return out;
}

// The values decoded from a block, the first line holding a header.
Bytes decodeValues(const std::string& block, uint32_t bits, uint32_t count, bool* complete,
                   uint32_t image = 0) {
    NewIconsCursor cursor{block.data(), uint32_t(block.size()), 0};
    Bytes out(count, 0xAA);
    *complete = DecodeNewIconValues(&cursor, image, 1, bits, count, out.data(), count);
    return out;
}

// The characters of a line after its prefix.
std::string dataOf(const std::string& line, std::size_t prefix) { return line.substr(prefix); }

TEST(NewIconsValues, ZeroGroupsRunUpToFortySevenPerCharacter) {
    struct Case {
        uint32_t zeroValues;  // 7-bit zero values, one group each
        std::string data;
    };
    const Case cases[] = {
        {1, "\xD1"},
        {47, "\xFF"},
        {48, "\xFF\xD1"},
        {95, "\xFF\xFF\xD1"},
    };
    for (const Case& c : cases) {
        // A value 1 first, so the run follows a character, and the run ends
        // the data: the trailing run is part of the final characters.
        Bytes values(c.zeroValues + 1, 0);
        values[0] = 1;
        uint32_t lines = 0;
        const auto text = linesOf(encodeValues(values, 7, "IM1=B!!!\"", &lines));
        ASSERT_EQ(text.size(), 1u);
        EXPECT_EQ(dataOf(text[0], 9), std::string("\x21") + c.data) << c.zeroValues << " zero groups";
        bool complete = false;
        EXPECT_EQ(decodeValues(blockOf(text), 7, uint32_t(values.size()), &complete), values);
        EXPECT_TRUE(complete);
    }
}

TEST(NewIconsValues, GroupCharactersCoverBothRanges) {
    // Groups 1-79 are written from 0x21, 80-127 from 0xA1.
    const Bytes values = {1, 79, 80, 127};
    uint32_t lines = 0;
    const auto text = linesOf(encodeValues(values, 7, "IM2=", &lines));
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(dataOf(text[0], 4), "\x21\x6F\xA1\xD0");
    // A reader also takes 0x20 as one zero group, 0x70-0x9F as 80-127 and
    // 0xA0 as 79.
    const std::string lenient = blockOf({"IM1=xxxxx\x20\x70\x9F\xA0"});
    bool complete = false;
    EXPECT_EQ(decodeValues(lenient, 7, 4, &complete), (Bytes{0, 80, 127, 79}));
    EXPECT_TRUE(complete);
}

TEST(NewIconsValues, AValueCutByALineEndIsRepeatedWhole) {
    // Groups that are never zero, so each takes one character: the first
    // line closes at 127 characters, 118 of them data (826 bits: 103 values
    // of 8 bits and two bits of the 104th).
    Bytes values(300);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = uint8_t(0x81 + i * 2);
    uint32_t lines = 0;
    const Bytes file = encodeValues(values, 8, "IM1=B!!\"!", &lines);
    const auto text = linesOf(file);
    ASSERT_EQ(lines, text.size());
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text[0].size(), 127u);
    for (const std::string& line : text) {
        EXPECT_LE(line.size(), NewIconsLineLimit);
        EXPECT_EQ(line.substr(0, 4), "IM1=");
    }
    // The second line's first group is the top seven bits of value 103.
    const uint32_t group = values[103] >> 1;
    EXPECT_EQ(uint8_t(text[1][4]), group < 80 ? group + 0x20 : group + 0x51);
    bool complete = false;
    EXPECT_EQ(decodeValues(blockOf(text), 8, uint32_t(values.size()), &complete), values);
    EXPECT_TRUE(complete);
}

TEST(NewIconsValues, RandomValuesRoundTripAtEveryWidth) {
    std::mt19937 random(11);
    for (uint32_t bits = 1; bits <= 8; ++bits) {
        for (uint32_t count : {1u, 2u, 7u, 100u, 93u * 93u}) {
            Bytes values(count);
            // Sparse values give long zero runs, dense ones full lines.
            for (uint8_t& value : values) value = random() % 4 ? 0 : uint8_t(random() & ((1u << bits) - 1));
            uint32_t lines = 0;
            const auto text = linesOf(encodeValues(values, bits, "IM1=C!!!#", &lines));
            for (const std::string& line : text) ASSERT_LE(line.size(), NewIconsLineLimit);
            bool complete = false;
            EXPECT_EQ(decodeValues(blockOf(text), bits, count, &complete), values)
                << bits << " bits, " << count << " values";
            EXPECT_TRUE(complete);
        }
    }
}

TEST(NewIconsValues, DecodingStopsWhereTheLinesOfItsImageEnd) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        uint32_t image;
        bool complete;
        Bytes values;  // 7-bit values wanted: 3
    };
    const Case cases[] = {
        {"continued", {"IM1=xxxxx\x21", "IM1=\x22\x23"}, 0, true, {1, 2, 3}},
        {"other image", {"IM1=xxxxx\x21", "IM2=\x22\x23"}, 0, false, {1, 0xAA, 0xAA}},
        {"prefix only", {"IM1=xxxxx\x21", "IM1=", "IM1=\x22\x23"}, 0, false, {1, 0xAA, 0xAA}},
        {"empty text", {"IM1=xxxxx\x21", "", "IM1=\x22\x23"}, 0, false, {1, 0xAA, 0xAA}},
        {"end of block", {"IM1=xxxxx\x21"}, 0, false, {1, 0xAA, 0xAA}},
        {"second image", {"IM2=xxxxx\x21\x22", "IM2=\x23"}, 1, true, {1, 2, 3}},
        {"short first line", {"IM1=xx", "IM1=\x21\x22\x23"}, 0, true, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        bool complete = false;
        EXPECT_EQ(decodeValues(blockOf(c.lines), 7, 3, &complete, c.image), c.values) << c.name;
        EXPECT_EQ(complete, c.complete) << c.name;
    }
    // Nothing wanted: done at once, even without lines.
    NewIconsCursor empty{"", 1, 0};
    EXPECT_EQ(DecodeNewIconValues(&empty, 0, 0, 8, 0, nullptr, 0), 1);
}

TEST(NewIconsValues, ValuesPastTheOutputAreDecodedAndDropped) {
    // Nine-bit values lose their top bit; values beyond the output room are
    // consumed so the cursor ends where the data ends.
    const std::string block = blockOf({"IM1=xxxxx\xD0\xD0\xD0", "IM1=\x21"});
    NewIconsCursor cursor{block.data(), uint32_t(block.size()), 0};
    Bytes out(1, 0);
    ASSERT_EQ(DecodeNewIconValues(&cursor, 0, 1, 9, 2, out.data(), 1), 1);
    EXPECT_EQ(out[0], 0xFF);  // 0x1FF without its top bit
    EXPECT_EQ(cursor.next, 13u);  // the next text: "IM1=!"
}

TEST(NewIconsValues, EncoderStopsAtTheEndOfItsRoom) {
    const Bytes values(500, 0x55);
    uint32_t used = 0, lines = 0;
    Bytes out(100, 0);
    EXPECT_EQ(EncodeNewIconValues(values.data(), 500, 8, "IM1=", 4, out.data(), 100, &used, &lines), 0);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(EncodeNewIconValues(values.data(), 500, 9, "IM1=", 4, out.data(), 100, &used, &lines), 0);
}

}  // namespace
