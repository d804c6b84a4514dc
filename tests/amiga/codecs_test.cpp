// The picture codecs of classic Amiga icons: planar bitmaps with their
// built-in colours, and the value packing of NewIcons lines. Round trips of
// any pens and values are the fuzz target's (fuzz_amiga_codecs).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "amiga/icon_palettes.h"
#include "amiga/newicons_codec.h"
#include "amiga/planar_codec.h"
#include "amiga_fixture.h"

namespace {

using namespace pictra::test;

Bytes encodePlanar(const Bytes& pens, uint32_t width, uint32_t height, uint32_t depth) {
    uint32_t bytes = 0;
    EXPECT_TRUE(PlanarBitmapBytes(width, height, depth, &bytes));
    Bytes planes(bytes, 0xEE);
    EXPECT_TRUE(EncodePlanarPixels(pens.data(), uint32_t(pens.size()), width, height, depth, planes.data(), bytes));
    return planes;
}

Bytes decodePlanar(const Bytes& planes, const PlanarPlacement& at) {
    Bytes canvas(at.canvasWidth * at.canvasHeight, 0);
    EXPECT_TRUE(DecodePlanarPixels(planes.data(), uint32_t(planes.size()), at, canvas.data(), uint32_t(canvas.size())));
    return canvas;
}

TEST(PlanarCodec, BitOrderRowPaddingAndLimits) {
    // 45 pixels a row: 6 bytes, the last 3 bits padding. Plane 0 first.
    Bytes pens(45 * 2, 0);
    pens[0] = 1, pens[9] = 2, pens[44] = 3, pens[45 + 7] = 0xFD;  // bits above the depth are dropped
    const Bytes planes = encodePlanar(pens, 45, 2, 2);
    EXPECT_EQ(planes, (Bytes{0x80, 0, 0, 0, 0, 0x08, 0x01, 0, 0, 0, 0, 0,     // plane 0, rows 0 and 1
                             0, 0x40, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0}));     // plane 1
    Bytes padded = planes;
    padded[5] |= 0x07;  // set padding bits are ignored
    pens[45 + 7] = 1;
    EXPECT_EQ(decodePlanar(padded, {45, 2, 2, 0, 0, 45, 2}), pens);

    uint32_t bytes = 0;
    EXPECT_FALSE(PlanarBitmapBytes(0xFFFF, 0xFFFF, 16, &bytes));  // 8 GiB
    EXPECT_FALSE(DecodePlanarPixels(planes.data(), 24, {45, 2, 9, 0, 0, 45, 2}, padded.data(), 90));
}

TEST(PlanarCodec, EdgesOnlyClipAndThePictureLandsTopLeft) {
    struct Case {
        PlanarPlacement at;
        uint32_t columns, rows;
    };
    const Case cases[] = {
        {{40, 10, 1, 8, 0, 44, 10}, 36, 10},  // 40 wide at left 8 on 44: 36 columns at 0-35
        {{40, 10, 1, 0, 0, 44, 12}, 40, 10},  // smaller than the canvas: the rest stays pen 0
        {{10, 10, 1, 0, 6, 10, 12}, 10, 6},   // the top edge clips rows
        {{10, 10, 1, 50, 0, 44, 10}, 0, 0},   // beyond the canvas: nothing copied
    };
    for (const Case& c : cases) {
        const Bytes canvas = decodePlanar(Bytes(PlanarRowBytes(c.at.width) * c.at.height, 0xFF), c.at);
        for (uint32_t y = 0; y < c.at.canvasHeight; ++y)
            for (uint32_t x = 0; x < c.at.canvasWidth; ++x)
                ASSERT_EQ(canvas[y * c.at.canvasWidth + x], x < c.columns && y < c.rows) << x << "," << y;
    }
}

TEST(PlanarPalette, ChosenByDepthAndStyle) {
    using Colours = std::vector<uint32_t>;
    const Colours defaults(DefaultPalette256, DefaultPalette256 + 8);
    const Colours icon = {0x959595, 0x000000, 0xFFFFFF, 0x3B67A2}, legacy = {0x0055AA, 0xFFFFFF, 0x000000, 0xFF8800};
    const Colours extra = {0x7B7B7B, 0xAFAFAF, 0xAA907C, 0xFFA997}, tail(defaults.begin() + 4, defaults.end());
    const struct {
        uint32_t depth;
        int32_t oldStyle;
        Colours first8;
    } cases[] = {{1, 1, defaults}, {2, 0, concat(icon, tail)}, {2, 1, concat(legacy, tail)},
                 {3, 0, concat(icon, extra)}, {3, 1, concat(legacy, extra)}, {4, 0, defaults}};
    EXPECT_EQ(defaults[0], 0xC0C0C0u);
    for (const auto& c : cases) {
        Colours palette(256);
        BuildPlanarPalette(c.depth, c.oldStyle, palette.data());
        EXPECT_EQ(Colours(palette.begin(), palette.begin() + 8), c.first8) << c.depth << c.oldStyle;
        EXPECT_TRUE(std::equal(palette.begin() + 8, palette.end(), DefaultPalette256 + 8));
    }
}

Bytes encodeValues(const Bytes& values, uint32_t bits, const std::string& prefix) {
    Bytes out(NewIconsEncodedBound(uint32_t(values.size()), bits));
    uint32_t used = 0, lines = 0;
    EXPECT_TRUE(EncodeNewIconValues(values.data(), uint32_t(values.size()), bits, prefix.data(), uint32_t(prefix.size()),
                                    out.data(), uint32_t(out.size()), &used, &lines));
    out.resize(used);
    EXPECT_EQ(linesOf(out).size(), lines);
    return out;
}

// Decodes `count` values from the first line's tenth character on; values
// not produced stay 0xAA.
Bytes decodeValues(const std::vector<std::string>& lines, uint32_t bits, uint32_t count, bool* complete,
                   uint32_t image = 0) {
    const std::string block = blockOf(lines);
    NewIconsCursor cursor{block.data(), uint32_t(block.size()), 0};
    Bytes out(count, 0xAA);
    *complete = DecodeNewIconValues(&cursor, image, 1, bits, count, out.data(), count);
    return out;
}

TEST(NewIconsValues, GroupCharactersAndZeroRunsOfUpToFortySeven) {
    struct Case {
        Bytes values;  // 7 bits each: one group per value
        std::string data;
    };
    const Case cases[] = {
        {{1, 79, 80, 127}, "\x21\x6F\xA1\xD0"},  // groups 1-79 from 0x21, 80-127 from 0xA1
        {{1, 0}, "\x21\xD1"},                    // a trailing zero group is a run of its own
        {Bytes(48, 0), "\xFF"},                  // 47 zero groups, then the last with the ending value
        {Bytes(49, 0), "\xFF\xD1"},
    };
    for (Case c : cases) {
        if (c.values.size() > 2) c.values[0] = 1;
        if (c.values.size() > 4) c.data = "\x21" + c.data;
        const auto lines = linesOf(encodeValues(c.values, 7, "IM1=B!!!\""));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(9), c.data) << c.values.size() << " values";
        bool complete = false;
        EXPECT_EQ(decodeValues(lines, 7, uint32_t(c.values.size()), &complete), c.values);
        EXPECT_TRUE(complete);
    }
    // A reader also takes 0x20 as one zero group, 0x70-0x9F as 80-127, 0xA0 as 79.
    bool complete = false;
    EXPECT_EQ(decodeValues({"IM1=xxxxx\x20\x70\x9F\xA0"}, 7, 4, &complete), (Bytes{0, 80, 127, 79}));
}

TEST(NewIconsValues, AValueCutByALineEndIsRepeatedWhole) {
    // Groups never zero, one character each: the first line closes at 127
    // characters, 118 of them data, 826 bits: 103 values and 2 bits of the next.
    Bytes values(300);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = uint8_t(0x81 + i * 2);
    const auto lines = linesOf(encodeValues(values, 8, "IM1=B!!\"!"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 127u);
    for (const std::string& line : lines) EXPECT_LE(line.size(), NewIconsLineLimit);
    const uint32_t group = values[103] >> 1;  // the second line starts with value 103
    EXPECT_EQ(uint8_t(lines[1][4]), group < 80 ? group + 0x20 : group + 0x51);
    bool complete = false;
    EXPECT_EQ(decodeValues(lines, 8, uint32_t(values.size()), &complete), values);
}

TEST(NewIconsValues, DecodingStopsWhereTheLinesOfItsImageEnd) {
    struct Case {
        std::vector<std::string> lines;
        uint32_t image;
        bool complete;
        Bytes values;  // three 7-bit values wanted
    };
    const Bytes cut = {1, 0xAA, 0xAA};
    const Case cases[] = {
        {{"IM1=xxxxx\x21", "IM1=\x22\x23"}, 0, true, {1, 2, 3}},
        {{"IM1=xxxxx\x21", "IM2=\x22\x23"}, 0, false, cut},        // another image's line
        {{"IM1=xxxxx\x21", "IM1=", "IM1=\x22\x23"}, 0, false, cut},  // a line of the prefix only
        {{"IM1=xxxxx\x21", "", "IM1=\x22\x23"}, 0, false, cut},      // an empty text
        {{"IM1=xxxxx\x21"}, 0, false, cut},                          // the end of the block
        {{"IM2=xxxxx\x21\x22", "IM2=\x23"}, 1, true, {1, 2, 3}},
        {{"IM1=xxxxx\x7F\x7F\x7F"}, 0, true, {0x5F, 0x5F, 0x5F}},    // bits of a value across groups
    };
    for (const Case& c : cases) {
        bool complete = false;
        EXPECT_EQ(decodeValues(c.lines, 7, 3, &complete, c.image), c.values) << c.lines.size();
        EXPECT_EQ(complete, c.complete) << c.lines.size();
    }
}

}  // namespace
