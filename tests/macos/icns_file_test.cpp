// macOS icons through the real module: hand-made files for the reader, and
// the layout of the files the writer makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "byte_builder.h"
#include "host/images.h"
#include "icns_support.h"
#include "macos/mac_palettes.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;
using MacIconFileTest = MacIconTest;

struct Element {
    std::string code;
    Bytes data;
};

// An icon file of the elements, with a matching total length.
Bytes icnsFile(const std::vector<Element>& elements) {
    ByteBuilder body;
    for (const Element& element : elements) body.text(element.code).be32(uint32_t(element.data.size() + 8)).raw(element.data);
    return ByteBuilder().text("icns").be32(uint32_t(body.size() + 8)).raw(body.bytes());
}

Bytes pngOf(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height) {
    return host::encodePng(pixels.data(), width, height);
}

// Packed data giving every pixel of a picture of `count` (at least 3)
// pixels one colour.
Bytes packedColour(std::size_t count, uint8_t red, uint8_t green, uint8_t blue) {
    ByteBuilder data;
    for (uint8_t value : {red, green, blue})
        for (std::size_t left = count, run; left > 0; left -= run) {
            run = std::min<std::size_t>(left, 130);
            data.u8(uint32_t(run + 125)).u8(value);
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
    auto pictures = loadBytes(good);
    ASSERT_TRUE(pictures && pictures->size() == 1);
    EXPECT_EQ((*pictures)[0].argb[0], 0x80010203u);

    const std::size_t secondLength = 8 + be32(good, 12) + 4;  // after the first element
    const std::pair<const char*, Bytes> cases[] = {
        {"length 0 would stand still", withField(good, 12, 4, 0, true)},
        {"length 7 would walk back", withField(good, 12, 4, 7, true)},
        {"length past the end", withField(good, secondLength, 4, 265, true)},
        {"length of 2^31", withField(good, 12, 4, 0x80000000u, true)},
        {"length of 2^32 - 1", withField(good, 12, 4, 0xFFFFFFFFu, true)},
        {"a partial header after the last element", ByteBuilder().raw(good).text("ic0")},
        {"a file of only the magic", ByteBuilder().text("icns")},
        {"only masks and unknown types", icnsFile({{"s8mk", Bytes(256, 0)}, {"TOC ", Bytes(8, 0)}})},
        {"no element at all", icnsFile({})},
        {"8-bit pens one byte short", icnsFile({{"ics8", Bytes(255, 0)}})},
        {"4-bit pens one byte long", icnsFile({{"ics4", Bytes(129, 0)}})},
        {"an image file that is none", icnsFile({{"ic08", Bytes(100, 0x55)}})},
    };
    for (const auto& [name, file] : cases) EXPECT_FALSE(loadBytes(file)) << name;
}

// Each hand-made file and the pixels of every picture it gives, in order:
// where "#" plane masks and alpha masks go, image files of their own size,
// and small types holding packed channels.
TEST_F(MacIconFileTest, MasksAndElementKindsGiveTheirPictures) {
    using Argb = std::vector<uint32_t>;
    const Bytes pens(32 * 32, 5);  // pen 5 everywhere: pens 0-4 are free
    const Bytes onePlane = rightHalfOpaque(32), twoPlanes = ByteBuilder().raw(Bytes(128, 0xFF)).raw(onePlane);
    auto pen5 = [](bool masked) {
        Argb argb(32 * 32, 0xFF000000u | MacPalette256.colours[5]);
        for (std::size_t i = 0; masked && i < argb.size(); ++i) argb[i] = i % 32 < 16 ? 0 : argb[i];
        return argb;
    };
    // A 4-bit picture without an 8-bit partner, using all 16 pens, still
    // shows exactly its mask.
    Bytes allPens;
    Argb allPensShown;
    for (int i = 0; i < 128; ++i) allPens.push_back(uint8_t((i % 8) * 2 << 4 | ((i % 8) * 2 + 1)));
    for (int i = 0; i < 256; ++i) allPensShown.push_back(i % 16 >= 8 ? 0xFF000000u | MacPalette16.colours[i % 16] : 0u);
    // A 128-pixel PNG with its own alpha, and small PNGs.
    const Argb png(128 * 128, 0x40102030u), small(8 * 4, 0xFF00FF00u);
    // A thousand empty 128-pixel elements would unpack to 64 MB: a type is read once.
    std::vector<Element> repeated = {{"it32", packedColour(128 * 128, 3, 2, 1)}};
    repeated.resize(1001, Element{"it32", {}});
    repeated.push_back({"t8mk", Bytes(128 * 128, 0x7F)});

    const std::tuple<const char*, std::vector<Element>, std::vector<Argb>> cases[] = {
        {"mask before its picture", {{"ICN#", twoPlanes}, {"icl8", pens}}, {pen5(true)}},
        {"mask after its picture", {{"icl8", pens}, {"ICN#", twoPlanes}}, {pen5(true)}},
        {"one plane alone", {{"icl8", pens}, {"ICN#", onePlane}}, {pen5(true)}},
        {"a length of neither one nor two planes", {{"icl8", pens}, {"ICN#", Bytes(200, 0)}}, {pen5(false)}},
        {"a mask of another size", {{"icl8", pens}, {"ics#", Bytes(64, 0)}}, {pen5(false)}},
        {"all 16 pens", {{"ics4", allPens}, {"ics#", rightHalfOpaque(16)}}, {allPensShown}},
        {"the t8mk mask belongs to the packed picture, not the PNG",
         {{"ic07", pngOf(png, 128, 128)}, {"t8mk", Bytes(16384, 0x99)},
          {"it32", ByteBuilder().zeros(4).raw(packedColour(128 * 128, 9, 8, 7))}},
         {png, Argb(16384, 0x99090807u)}},
        {"a two-mask length uses the second; a mask without its picture is skipped",
         {{"s8mk", ByteBuilder().raw(Bytes(256, 0x11)).raw(Bytes(256, 0x22))}, {"is32", packedColour(256, 1, 1, 1)},
          {"l8mk", Bytes(1024, 0)}},
         {Argb(256, 0x22010101u)}},
        {"image files of their own size; packed channels in icp4",
         {{"icp4", packedColour(256, 5, 6, 7)}, {"icp5", pngOf(small, 8, 4)}, {"ic11", pngOf(small, 8, 4)},
          {"info", Bytes(20, 1)}, {"ic08", pngOf(small, 8, 4)}},
         {Argb(256, 0xFF050607u), small, small, small}},
        {"a type repeated 1001 times, then its mask", repeated, {Argb(128 * 128, 0x7F030201u)}},
    };
    for (const auto& [name, elements, expected] : cases) {
        auto pictures = loadBytes(icnsFile(elements));
        ASSERT_TRUE(pictures && pictures->size() == expected.size()) << name;
        for (std::size_t k = 0; k < expected.size(); ++k)
            EXPECT_EQ(differingPixels((*pictures)[k].argb, expected[k], true), 0u) << name << ", picture " << k;
    }
}

// (The elements' order, masks and lengths, and pens already in the fixed
// palette, are pinned by the output identity digests; the peers read every
// stored size.) Pictures of no stored size or depth are left out: with
// nothing else the save fails and the header stays. Pens of another palette
// are mapped onto the fixed palette; the transparent pen's pixels stay
// transparent.
TEST_F(MacIconFileTest, WriterLeavesOutWhatItCannotStoreAndMapsPensOntoTheFixedPalette) {
    PictureList list;
    list.add(24, 24, 32);
    list.add(32, 32, 4);
    const std::string file = path("out.icns");
    EXPECT_EQ(save(file, list.head()), 0);
    EXPECT_EQ(readFile(file), (Bytes{'i', 'c', 'n', 's', 0, 0, 0, 0}));
    IconImage* image = list.add(32, 32, 8, 3);
    const uint32_t colours[4] = {0xFF0000, 0x0000EE, 0x111111, 0x123456};
    std::copy(std::begin(colours), std::end(colours), image->palette);
    for (int i = 0; i < 1024; ++i) pensOf(image)[i] = uint8_t(i % 4);
    ASSERT_EQ(save(file, list.head()), 1);
    auto pictures = load(file);
    ASSERT_TRUE(pictures && pictures->size() == 1);
    for (int i = 0; i < 1024; ++i) EXPECT_EQ((*pictures)[0].argb[i], i % 4 == 3 ? 0u : 0xFF000000u | colours[i % 4]) << i;
}

}  // namespace
