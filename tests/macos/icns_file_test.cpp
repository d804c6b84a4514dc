// macOS icons through the real module: hand-made files for the reader, and
// the layout of the files the writer makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "byte_builder.h"
#include "host/images.h"
#include "icns_peers.h"
#include "macos/mac_palettes.h"

namespace {

using pictra::test::ByteBuilder;
using pictra::test::Bytes;
using pictra::test::Picture;
using pictra::test::PictureList;
using pictra::test::pensOf;
using pictra::test::wordsOf;
using MacIconFileTest = pictra::test::MacIconTest;

struct Element {
    std::string code;
    Bytes data;
};

// An icon file of the elements, with a matching total length.
Bytes icnsFile(const std::vector<Element>& elements) {
    ByteBuilder body;
    for (const Element& element : elements)
        body.text(element.code).be32(static_cast<uint32_t>(element.data.size() + 8)).raw(element.data);
    ByteBuilder file;
    file.text("icns").be32(static_cast<uint32_t>(body.size() + 8)).raw(body.bytes());
    return file.bytes();
}

Bytes pngOf(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height) {
    return pictra::host::encodePng(pixels.data(), width, height);
}

// Packed data giving every pixel of a picture of `count` pixels one colour.
Bytes packedColour(std::size_t count, uint8_t red, uint8_t green, uint8_t blue) {
    Bytes data;
    for (uint8_t value : {red, green, blue})
        for (std::size_t left = count; left > 0;) {
            const std::size_t run = left < 130 ? left : 130;
            data.push_back(static_cast<uint8_t>(run + 125));  // left is at least 3 in these tests
            data.push_back(value);
            left -= run;
        }
    return data;
}

// A 1-bit plane of a square of `side` with the left half transparent (0).
Bytes rightHalfOpaque(int side) {
    Bytes plane;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; x += 8) plane.push_back(x < side / 2 ? 0x00 : 0xFF);
    return plane;
}

TEST_F(MacIconFileTest, ElementLengthsThatDoNotFitFailTheLoad) {
    const Bytes good = icnsFile({{"is32", packedColour(256, 1, 2, 3)}, {"s8mk", Bytes(256, 0x80)}});
    std::vector<Picture> pictures;
    ASSERT_TRUE(loadBytes(good, &pictures));
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].pixels[0], 0x80010203u);

    const std::size_t secondLength = 8 + (good[14] << 8 | good[15]) + 4;  // after the first element
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"length 0 would stand still", pictra::test::withField(good, 12, 4, 0, true)},
        {"length 7 would walk back", pictra::test::withField(good, 12, 4, 7, true)},
        {"length past the end", pictra::test::withField(good, secondLength, 4, 265, true)},
        {"length of 2^31", pictra::test::withField(good, 12, 4, 0x80000000u, true)},
        {"length of 2^32 - 1", pictra::test::withField(good, 12, 4, 0xFFFFFFFFu, true)},
        {"a partial header after the last element", ByteBuilder().raw(good).text("ic0").bytes()},
        {"a file of only the magic", ByteBuilder().text("icns").bytes()},
        {"only masks and unknown types", icnsFile({{"s8mk", Bytes(256, 0)}, {"TOC ", Bytes(8, 0)}})},
        {"no element at all", icnsFile({})},
        {"8-bit pens one byte short", icnsFile({{"ics8", Bytes(255, 0)}})},
        {"4-bit pens one byte long", icnsFile({{"ics4", Bytes(129, 0)}})},
        {"an image file that is none", icnsFile({{"ic08", Bytes(100, 0x55)}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(loadBytes(c.file, &pictures));
    }
    // Every cut of a valid file either loads or fails cleanly.
    for (const Bytes& cut : pictra::test::truncations(good)) loadBytes(cut, &pictures);
}

TEST_F(MacIconFileTest, MasksApplyWhereverTheyStandAndOnlyWhenTheyFit) {
    const Bytes pens(32 * 32, 5);  // pen 5 everywhere: pens 0-4 are free
    const Bytes onePlane = rightHalfOpaque(32);
    Bytes twoPlanes(128, 0xFF);  // an icon plane that would hide nothing
    twoPlanes.insert(twoPlanes.end(), onePlane.begin(), onePlane.end());
    struct Case {
        const char* name;
        std::vector<Element> elements;
        bool masked;
    } cases[] = {
        {"mask before its picture", {{"ICN#", twoPlanes}, {"icl8", pens}}, true},
        {"mask after its picture", {{"icl8", pens}, {"ICN#", twoPlanes}}, true},
        {"one plane alone", {{"icl8", pens}, {"ICN#", onePlane}}, true},
        {"a length of neither one nor two planes", {{"icl8", pens}, {"ICN#", Bytes(200, 0)}}, false},
        {"a mask of another size", {{"icl8", pens}, {"ics#", Bytes(64, 0)}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Picture> pictures;
        ASSERT_TRUE(loadBytes(icnsFile(c.elements), &pictures));
        ASSERT_EQ(pictures.size(), 1u);
        const auto argb = pictures[0].argb();
        EXPECT_EQ(argb[0] >> 24, c.masked ? 0u : 0xFFu);
        EXPECT_EQ(argb[31], 0xFF000000u | MacPalette256.colours[5]);
        EXPECT_EQ(pictures[0].transparentPen, c.masked ? 0 : -1);
    }
}

TEST_F(MacIconFileTest, PlaneMasksGoToThe8And4BitPens) {
    Bytes pens4(16 * 16 / 2, 0x12);  // pens 1 and 2
    const Bytes pens8(16 * 16, 200);
    const Bytes mask = rightHalfOpaque(16);
    auto leftIsClear = [](const Picture& picture) {
        const auto argb = picture.argb();
        return argb[0] >> 24 == 0 && argb[15] >> 24 == 0xFF && argb[16] >> 24 == 0;
    };
    std::vector<Picture> pictures;
    ASSERT_TRUE(loadBytes(icnsFile({{"ics#", mask}, {"ics4", pens4}, {"ics8", pens8}}), &pictures));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].depth, 4);
    EXPECT_TRUE(leftIsClear(pictures[0]));
    EXPECT_EQ(pictures[0].argb()[15], 0xFF000000u | MacPalette16.colours[2]);
    EXPECT_TRUE(leftIsClear(pictures[1]));

    // A 4-bit picture without an 8-bit partner, using all 16 pens, still
    // shows exactly its mask.
    Bytes allPens;
    for (int i = 0; i < 128; ++i) allPens.push_back(static_cast<uint8_t>((i % 8) * 2 << 4 | ((i % 8) * 2 + 1)));
    ASSERT_TRUE(loadBytes(icnsFile({{"ics4", allPens}, {"ics#", mask}}), &pictures));
    ASSERT_EQ(pictures.size(), 1u);
    const auto argb = pictures[0].argb();
    for (int i = 0; i < 256; ++i) {
        const bool opaque = i % 16 >= 8;
        EXPECT_EQ(argb[i] >> 24, opaque ? 0xFFu : 0u) << i;
        if (opaque) {
            EXPECT_EQ(argb[i] & 0xFFFFFF, MacPalette16.colours[i % 16]) << i;
        }
    }
}

TEST_F(MacIconFileTest, AlphaMasksGoOnlyToThePictureOfTheirPackedElement) {
    // A 128-pixel PNG with its own alpha before the packed picture of the
    // same size: the "t8mk" mask belongs to the packed one.
    const std::vector<uint32_t> png(128 * 128, 0x40102030u);
    Bytes it32 = {0, 0, 0, 0};
    const Bytes colour = packedColour(128 * 128, 9, 8, 7);
    it32.insert(it32.end(), colour.begin(), colour.end());
    std::vector<Picture> pictures;
    ASSERT_TRUE(loadBytes(icnsFile({{"ic07", pngOf(png, 128, 128)}, {"t8mk", Bytes(16384, 0x99)}, {"it32", it32}}),
                          &pictures));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].pixels, png);
    EXPECT_EQ(pictures[1].pixels, std::vector<uint32_t>(16384, 0x99090807u));

    // Without a packed partner the mask is skipped; a two-mask length uses
    // the second.
    Bytes twoMasks(256, 0x11);
    twoMasks.insert(twoMasks.end(), 256, 0x22);
    ASSERT_TRUE(loadBytes(icnsFile({{"s8mk", twoMasks}, {"is32", packedColour(256, 1, 1, 1)}, {"l8mk", Bytes(1024, 0)}}),
                          &pictures));
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].pixels[255], 0x22010101u);
}

TEST_F(MacIconFileTest, ImageFilesOfTheirOwnSizeAndSmallTypesHoldingPackedChannels) {
    const std::vector<uint32_t> small(8 * 4, 0xFF00FF00u);
    std::vector<Picture> pictures;
    ASSERT_TRUE(loadBytes(icnsFile({{"icp4", packedColour(256, 5, 6, 7)},
                                    {"icp5", pngOf(small, 8, 4)},
                                    {"ic11", pngOf(small, 8, 4)},
                                    {"info", Bytes(20, 1)},
                                    {"ic08", pngOf(small, 8, 4)}}),
                          &pictures));
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[0].width, 16);
    EXPECT_EQ(pictures[0].pixels, std::vector<uint32_t>(256, 0xFF050607u));
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(pictures[i].width, 8);
        EXPECT_EQ(pictures[i].pixels, small);
    }

    // A thousand empty 128-pixel elements would unpack to 64 MB: a type is
    // read once, and its mask goes to that picture.
    std::vector<Element> repeated = {{"it32", packedColour(128 * 128, 3, 2, 1)}};
    repeated.resize(1001, Element{"it32", {}});
    repeated.push_back({"t8mk", Bytes(128 * 128, 0x7F)});
    ASSERT_TRUE(loadBytes(icnsFile(repeated), &pictures));
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].pixels, std::vector<uint32_t>(128 * 128, 0x7F030201u));
}

TEST_F(MacIconFileTest, WriterStoresOneElementPerTypeInTableOrderWithPatchedLengths) {
    PictureList list;
    // Added out of order, with duplicates and sizes the format has no type for.
    for (int side : {1024, 512, 256, 128, 64, 48, 32, 16}) {
        IconImage* image = list.add(side, side, 32);
        for (int i = 0; i < side * side; ++i) wordsOf(image)[i] = static_cast<uint32_t>(i * 2654435761u);
    }
    list.add(24, 24, 32);
    list.add(128, 128, 32);
    for (int side : {48, 32, 16}) list.add(side, side, 8);
    list.add(32, 32, 4);

    const std::string file = path("all.icns");
    ASSERT_EQ(save(file, list.head()), 1);
    const Bytes bytes = pictra::test::readFile(file);
    const auto elements = pictra::test::icnsElements(bytes);
    std::vector<std::string> codes;
    for (const auto& element : elements) codes.push_back(element.code);
    EXPECT_EQ(codes, (std::vector<std::string>{"ics#", "ics8", "is32", "s8mk", "ICN#", "icl8", "il32", "l8mk", "ich#",
                                               "ich8", "ih32", "h8mk", "icp6", "it32", "t8mk", "ic08", "ic09", "ic10"}));
    // The total is the file's size, and the lengths chain to its end.
    EXPECT_EQ(pictra::test::withField(bytes, 4, 4, static_cast<uint32_t>(bytes.size()), true), bytes);
    EXPECT_EQ(elements.back().offset + elements.back().length, bytes.size());
    EXPECT_EQ(elements[0].length, 64u);     // two 16 x 16 planes
    EXPECT_EQ(elements[1].length, 256u);    // 16 x 16 pens
    EXPECT_EQ(elements[14].length, 16384u); // 128 x 128 alpha

    std::vector<Picture> pictures;
    ASSERT_TRUE(load(file, &pictures));
    EXPECT_EQ(pictures.size(), 11u);  // 3 x (pens, packed), icp6, it32, ic08-ic10, none of 24 or 4 bits

    // Nothing of a stored size and depth: the save fails, the header stays.
    PictureList none;
    none.add(24, 24, 32);
    none.add(32, 32, 4);
    EXPECT_EQ(save(file, none.head()), 0);
    EXPECT_EQ(pictra::test::readFile(file), (Bytes{'i', 'c', 'n', 's', 0, 0, 0, 0}));
}

TEST_F(MacIconFileTest, PensAreWrittenInTheFixedPaletteAndMasksFromTheTransparentPen) {
    // Already in the fixed palette: pens unchanged, all-ones planes without
    // a transparent pen.
    PictureList fixed;
    IconImage* image = fixed.add(16, 16, 8);
    std::copy(std::begin(MacPalette256.colours), std::end(MacPalette256.colours), image->palette);
    for (int i = 0; i < 256; ++i) pensOf(image)[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(save(path("fixed.icns"), fixed.head()), 1);
    const Bytes bytes = pictra::test::readFile(path("fixed.icns"));
    ASSERT_EQ(bytes.size(), 8u + 72u + 264u);
    EXPECT_EQ(Bytes(bytes.begin() + 16, bytes.begin() + 80), Bytes(64, 0xFF));
    EXPECT_EQ(Bytes(bytes.begin() + 88, bytes.end()), Bytes(pensOf(image), pensOf(image) + 256));

    // Another palette: the colours survive, mapped onto the fixed palette,
    // and the transparent pixels stay transparent.
    PictureList other;
    image = other.add(32, 32, 8, 3);
    const uint32_t colours[4] = {0xFF0000, 0x0000EE, 0x111111, 0x123456};
    std::copy(std::begin(colours), std::end(colours), image->palette);
    for (int i = 0; i < 1024; ++i) pensOf(image)[i] = static_cast<uint8_t>(i % 4);
    ASSERT_EQ(save(path("other.icns"), other.head()), 1);
    std::vector<Picture> pictures;
    ASSERT_TRUE(load(path("other.icns"), &pictures));
    ASSERT_EQ(pictures.size(), 1u);
    const auto argb = pictures[0].argb();
    for (int i = 0; i < 1024; ++i) {
        const uint32_t expected = i % 4 == 3 ? 0u : 0xFF000000u | colours[i % 4];
        EXPECT_EQ(i % 4 == 3 ? argb[i] & 0xFF000000u : argb[i], expected) << i;
    }
}

}  // namespace
