// macOS icons through the real module: hand-made files for the reader, and
// the layout of the files the writer makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "byte_builder.h"
#include "host/images.h"
#include "icon_pictures.h"
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

// Packed channels giving every pixel of a picture of `count` (at least 3)
// pixels the channel values, one channel after the other.
Bytes packedChannels(std::size_t count, std::initializer_list<uint8_t> values) {
    ByteBuilder data;
    for (uint8_t value : values)
        for (std::size_t left = count, run; left > 0; left -= run) {
            run = std::min<std::size_t>(left, 130);
            data.u8(uint32_t(run + 125)).u8(value);
        }
    return data;
}

Bytes packedColour(std::size_t count, uint8_t red, uint8_t green, uint8_t blue) {
    return packedChannels(count, {red, green, blue});
}

// The "ARGB" form of the true-colour types with their own alpha.
Bytes packedArgb(std::size_t count, uint32_t argb) {
    return ByteBuilder().text("ARGB").raw(packedChannels(count, {uint8_t(argb >> 24), uint8_t(argb >> 16),
                                                                 uint8_t(argb >> 8), uint8_t(argb)}));
}

// A 1-bit plane of a square of `side` with the left half transparent (0).
Bytes rightHalfOpaque(int side) {
    Bytes plane;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; x += 8) plane.push_back(x < side / 2 ? 0x00 : 0xFF);
    return plane;
}

// An element length that cannot be right ends the walk: the elements
// before it load. An element whose data are damaged is left out. With no
// picture left, the load fails.
TEST_F(MacIconFileTest, BadLengthsEndTheWalkAndDamagedElementsAreLeftOut) {
    const Bytes good = icnsFile({{"is32", packedColour(256, 1, 2, 3)}, {"s8mk", Bytes(256, 0x80)}});
    const std::size_t secondLength = 8 + be32(good, 12) + 4;  // after the first element
    const Bytes damaged = icnsFile({{"ics8", Bytes(255, 0)}, {"icl4", Bytes(513, 0)}, {"ic08", Bytes(100, 0x55)},
                                    {"ic04", Bytes(64, 0x55)}, {"is32", packedColour(256, 1, 2, 3)},
                                    {"s8mk", Bytes(256, 0x80)}, {"ic05", Bytes(3, 0)}});
    const struct {
        const char* name;
        Bytes file;
        std::vector<uint32_t> firstPixels;  // none: the load fails
    } cases[] = {
        {"the file as made", good, {0x80010203u}},
        {"damaged pens, image files and ARGB data around it", damaged, {0x80010203u}},
        {"the mask's length past the end", withField(good, secondLength, 4, 265, true), {0xFF010203u}},
        {"a partial header after the last element", ByteBuilder().raw(good).text("ic0"), {0x80010203u}},
        {"length 0 would stand still", withField(good, 12, 4, 0, true), {}},
        {"length 7 would walk back", withField(good, 12, 4, 7, true), {}},
        {"length of 2^31", withField(good, 12, 4, 0x80000000u, true), {}},
        {"length of 2^32 - 1", withField(good, 12, 4, 0xFFFFFFFFu, true), {}},
        {"a file of only the magic", ByteBuilder().text("icns"), {}},
        {"only masks and unknown types", icnsFile({{"s8mk", Bytes(256, 0)}, {"TOC ", Bytes(8, 0)}}), {}},
        {"no element at all", icnsFile({}), {}},
        {"8-bit pens one byte short", icnsFile({{"ics8", Bytes(255, 0)}}), {}},
        {"4-bit pens one byte long", icnsFile({{"ics4", Bytes(129, 0)}}), {}},
        {"an image file that is none", icnsFile({{"ic08", Bytes(100, 0x55)}}), {}},
        {"ARGB data without the ARGB bytes", icnsFile({{"ic04", packedColour(256, 1, 2, 3)}}), {}},
    };
    for (const auto& c : cases) {
        auto pictures = loadBytes(c.file);
        ASSERT_EQ(bool(pictures), !c.firstPixels.empty()) << c.name;
        if (!pictures) continue;
        std::vector<uint32_t> firstPixels;
        for (const Picture& picture : *pictures) firstPixels.push_back(picture.argb[0]);
        EXPECT_EQ(firstPixels, c.firstPixels) << c.name;
    }
}

// Each hand-made file and the pixels (and depths, where given) of every
// picture it gives, in order: where "#" plane masks and alpha masks go,
// image files of their own size, small types holding packed channels, the
// true-colour types with their own alpha as "ARGB" channels or PNG, the
// 16 x 12 mini icons, and the "#" types' icon plane as a picture of its own
// where nothing deeper has its size.
TEST_F(MacIconFileTest, MasksAndElementKindsGiveTheirPictures) {
    using Argb = std::vector<uint32_t>;
    auto halfOf = [](Argb argb, int width) {  // the left half transparent
        for (std::size_t i = 0; i < argb.size(); ++i) argb[i] = int(i) % width < width / 2 ? 0u : argb[i];
        return argb;
    };
    const Bytes pens(32 * 32, 5);  // pen 5 everywhere: pens 0-4 are free
    const Bytes onePlane = rightHalfOpaque(32), twoPlanes = ByteBuilder().raw(Bytes(128, 0xFF)).raw(onePlane);
    const Argb pen5(32 * 32, 0xFF000000u | MacPalette256.colours[5]), pen5Masked = halfOf(pen5, 32);
    // A 4-bit picture without an 8-bit partner, using all 16 pens, still
    // shows exactly its mask.
    Bytes allPens;
    Argb allPensShown;
    for (int i = 0; i < 128; ++i) allPens.push_back(uint8_t((i % 8) * 2 << 4 | ((i % 8) * 2 + 1)));
    for (int i = 0; i < 256; ++i) allPensShown.push_back(i % 16 >= 8 ? 0xFF000000u | MacPalette16.colours[i % 16] : 0u);
    // A 128-pixel PNG with its own alpha, and small PNGs.
    const Argb png(128 * 128, 0x40102030u), small(8 * 4, 0xFF00FF00u), png36(36 * 36, 0x80FF8000u);
    // A thousand empty 128-pixel elements would unpack to 64 MB: a type is read once.
    std::vector<Element> repeated = {{"it32", packedColour(128 * 128, 3, 2, 1)}};
    repeated.resize(1001, Element{"it32", {}});
    repeated.push_back({"t8mk", Bytes(128 * 128, 0x7F)});
    // Icon plane: columns alternate in pairs, black and white; mask: the right
    // half opaque, or all of it.
    const Bytes icon32(128, 0x33), icon16(24, 0x33);
    const Bytes masked32 = ByteBuilder().raw(icon32).raw(rightHalfOpaque(32));
    const Bytes opaque16 = ByteBuilder().raw(Bytes(32, 0x33)).raw(Bytes(32, 0xFF));
    Bytes mini = ByteBuilder().raw(icon16).zeros(24), miniPens(16 * 12, 5);
    for (int y = 0; y < 12; ++y) mini[24 + 2 * y + 1] = 0xFF;  // right half opaque
    auto oneBit = [](int width, int height, bool masked) {
        Argb argb(std::size_t(width) * height);
        for (std::size_t i = 0; i < argb.size(); ++i)
            argb[i] = masked && int(i) % width < width / 2 ? 0u : (i % 4 < 2 ? 0xFFFFFFFFu : 0xFF000000u);
        return argb;
    };

    const std::tuple<const char*, std::vector<Element>, std::vector<Argb>, std::vector<int32_t>> cases[] = {
        {"mask before its picture", {{"ICN#", twoPlanes}, {"icl8", pens}}, {pen5Masked}, {}},
        {"mask after its picture", {{"icl8", pens}, {"ICN#", twoPlanes}}, {pen5Masked}, {}},
        {"one plane alone", {{"icl8", pens}, {"ICN#", onePlane}}, {pen5Masked}, {}},
        {"a length of neither one nor two planes", {{"icl8", pens}, {"ICN#", Bytes(200, 0)}}, {pen5}, {}},
        {"a mask of another size", {{"icl8", pens}, {"ics#", Bytes(32, 0)}}, {pen5}, {}},
        {"all 16 pens", {{"ics4", allPens}, {"ics#", rightHalfOpaque(16)}}, {allPensShown}, {}},
        {"the t8mk mask belongs to the packed picture, not the PNG",
         {{"ic07", pngOf(png, 128, 128)}, {"t8mk", Bytes(16384, 0x99)},
          {"it32", ByteBuilder().zeros(4).raw(packedColour(128 * 128, 9, 8, 7))}},
         {png, Argb(16384, 0x99090807u)}, {}},
        {"a two-mask length uses the second; a mask without its picture is skipped",
         {{"s8mk", ByteBuilder().raw(Bytes(256, 0x11)).raw(Bytes(256, 0x22))}, {"is32", packedColour(256, 1, 1, 1)},
          {"l8mk", Bytes(1024, 0)}},
         {Argb(256, 0x22010101u)}, {}},
        {"image files of their own size; packed channels in icp4",
         {{"icp4", packedColour(256, 5, 6, 7)}, {"icp5", pngOf(small, 8, 4)}, {"ic11", pngOf(small, 8, 4)},
          {"info", Bytes(20, 1)}, {"ic08", pngOf(small, 8, 4)}},
         {Argb(256, 0xFF050607u), small, small, small}, {}},
        {"a type repeated 1001 times, then its mask", repeated, {Argb(128 * 128, 0x7F030201u)}, {}},
        {"ic04 and ic05 as ARGB channels and as PNG",
         {{"ic04", packedArgb(256, 0x80112233u)}, {"ic05", pngOf(Argb(1024, 0x40AABBCCu), 32, 32)}},
         {Argb(256, 0x80112233u), Argb(1024, 0x40AABBCCu)}, {32, 32}},
        {"the sidebar types",
         {{"icsb", packedArgb(18 * 18, 0xFF010203u)}, {"sb24", packedArgb(24 * 24, 0x7F040506u)},
          {"icsB", pngOf(png36, 36, 36)}, {"SB24", packedArgb(48 * 48, 0x01070809u)}},
         {Argb(18 * 18, 0xFF010203u), Argb(24 * 24, 0x7F040506u), png36, Argb(48 * 48, 0x01070809u)}, {32, 32, 32, 32}},
        {"icm8 and icm4 masked by icm#", {{"icm#", mini}, {"icm8", miniPens}, {"icm4", Bytes(96, 0x55)}},
         {halfOf(Argb(192, 0xFF000000u | MacPalette256.colours[5]), 16),
          halfOf(Argb(192, 0xFF000000u | MacPalette16.colours[5]), 16)},
         {8, 4}},
        {"ICN# alone: its icon plane, masked", {{"ICN#", masked32}}, {oneBit(32, 32, true)}, {4}},
        {"ics# all opaque stays 1-bit", {{"ics#", opaque16}}, {oneBit(16, 16, false)}, {1}},
        {"icm# alone", {{"icm#", mini}}, {oneBit(16, 12, true)}, {4}},
        {"ICN# beside a deeper picture of its size only masks",
         {{"ICN#", masked32}, {"il32", packedColour(1024, 1, 2, 3)}, {"ic05", packedArgb(1024, 0x10203040u)}},
         {Argb(1024, 0xFF010203u), Argb(1024, 0x10203040u)}, {32, 32}},
        {"one plane alone makes no picture", {{"ICN#", rightHalfOpaque(32)}, {"ic04", packedArgb(256, 1)}},
         {Argb(256, 1)}, {32}},
    };
    for (const auto& [name, elements, expected, depths] : cases) {
        auto pictures = loadBytes(icnsFile(elements));
        ASSERT_TRUE(pictures && pictures->size() == expected.size()) << name;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_TRUE(depths.empty() || (*pictures)[k].depth == depths[k]) << name << ", picture " << k;
            EXPECT_EQ(differingPixels((*pictures)[k].argb, expected[k], true), 0u) << name << ", picture " << k;
        }
    }
}

// A 1-bit picture is saved as its size's "#" element, icon plane and mask,
// when no 8-bit picture of the size is saved; one that a mask widened (pens
// 0 and 1 and a transparent pen) counts as 1-bit. It reads back the same.
TEST_F(MacIconFileTest, OneBitPicturesAreSavedAsTheirSizesIconPlane) {
    PictureList list;
    const struct {
        int32_t width, height, depth, pen;
    } shapes[] = {{32, 32, 1, -1}, {16, 16, 4, 2}, {16, 12, 1, 0}, {48, 48, 1, -1}, {48, 48, 8, 0}, {24, 24, 1, -1}};
    for (const auto& shape : shapes) {
        IconImage* image = list.add(shape.width, shape.height, shape.depth, shape.pen);
        // Pen 0 light, pen 1 dark: the icon plane takes the colours, not
        // the pen numbers.
        image->palette[0] = 0xE0E0C0, image->palette[1] = 0x203040, image->palette[2] = 0xFF0000;
        for (int i = 0; i < shape.width * shape.height; ++i)
            pensOf(image)[i] = uint8_t(shape.depth == 4 && i % 7 == 0 ? 2 : (i / 3 + i / shape.width) % 2);
    }
    const std::string file = path("out.icns");
    ASSERT_EQ(save(file, list.head()), 1);
    const Bytes bytes = readFile(file);
    std::string codes;
    for (std::size_t at = 8; at + 8 <= bytes.size(); at += be32(bytes, at + 4)) codes += std::string(bytes.begin() + long(at), bytes.begin() + long(at) + 4) + " ";
    // The 48-pixel "#" element comes from the 8-bit picture; 24 pixels is no
    // size of the table.
    EXPECT_EQ(codes, "ics# ICN# ich# ich8 icm# ");
    auto pictures = load(file);
    ASSERT_TRUE(pictures);
    ASSERT_EQ(pictures->size(), 4u);
    // ich8 is read first, then the "#" pictures in element order.
    const std::size_t from[] = {1, 0, 2};
    for (std::size_t k = 0; k < 3; ++k) {
        IconImage* image = list.head();
        for (std::size_t n = 0; n < from[k]; ++n) image = image->next;
        std::vector<uint32_t> expected = argbOf(*image);
        for (uint32_t& pixel : expected) pixel = pixel == 0 ? 0 : (pixel & 0xFF) > 0x80 ? 0xFFFFFFFFu : 0xFF000000u;
        EXPECT_EQ(std::make_pair((*pictures)[k + 1].width, (*pictures)[k + 1].height),
                  std::make_pair(image->width, image->height)) << k;
        EXPECT_EQ(differingPixels((*pictures)[k + 1].argb, expected, true), 0u) << k;
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
    list.add(24, 24, 1);
    std::fill_n(pensOf(list.add(32, 32, 4)), 1024, 5);
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
