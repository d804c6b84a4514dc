// Reading Amiga icons through the real module: the layout and its sections,
// the sizes a hostile file can state, tool types and NewIcons pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "amiga/newicons_image.h"
#include "amiga_fixture.h"
#include "amiga_test_support.h"

namespace {

using pictra::test::AmigaModuleTest;
using pictra::test::Bytes;
using pictra::test::ByteBuilder;
using pictra::test::ClassicIcon;
using pictra::test::picturesOf;
using pictra::test::toolTypesOf;

const std::string kMarker = "*** DON'T EDIT THE FOLLOWING LINES!! ***";

// The NewIcons lines of a picture of width x height whose pen at i is
// pens(i), made by the module's encoder.
std::vector<std::string> newIconsLines(uint32_t image, uint32_t width, uint32_t height, bool transparent,
                                       uint8_t highestPen) {
    std::vector<uint8_t> pens(width * height);
    for (std::size_t i = 0; i < pens.size(); ++i) pens[i] = uint8_t(i % (highestPen + 1u));
    pens.back() = highestPen;
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x010203 * i;
    std::vector<uint8_t> out(NewIconsPictureBound(width, height));
    uint32_t used = 0, lines = 0;
    EXPECT_EQ(EncodeNewIconsPicture(pens.data(), width, height, palette.data(), transparent, image, out.data(),
                                    uint32_t(out.size()), &used, &lines),
              1);
    out.resize(used);
    return pictra::test::linesOf(out);
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class AmigaReaderTest : public AmigaModuleTest {};

TEST_F(AmigaReaderTest, DrawerWindowAndItsExtension) {
    struct Case {
        const char* name;
        uint32_t userData;
        const char* toolWindow;
        Bytes extension;
        Bytes trailing;
        int32_t viewMode, showAll;
    };
    const Bytes form = ByteBuilder().text("FORM").be32(0x00010004).text("ICON");
    const Case cases[] = {
        {"new-style, view mode 0 reads as 1", 1, nullptr, ByteBuilder().be32(2).be16(0), {}, 1, 1},
        {"new-style, view mode 3", 1, nullptr, ByteBuilder().be32(1).be16(3), {}, 3, 0},
        {"old-style: no extension", 0, nullptr, ByteBuilder().be32(2).be16(3), {}, 0, 0},
        {"tool-window string passed over", 1, "CON:0/0/640/200", ByteBuilder().be32(2).be16(2), {}, 2, 1},
        {"extension missing at the end", 1, nullptr, {}, {}, 1, 0},
        {"extension cut after its flags", 1, nullptr, ByteBuilder().be32(2), {}, 1, 1},
        {"FORM where the extension would be", 1, nullptr, {}, form, 0, 0},
        {"extension, then FORM", 1, nullptr, ByteBuilder().be32(2).be16(4), form, 4, 1},
        {"old-style extension before FORM", 0, nullptr, ByteBuilder().be32(2).be16(4), form, 0, 0},
        {"other trailing bytes", 1, nullptr, ByteBuilder().be32(0).be16(5), Bytes{'X', 'Y'}, 5, 0},
    };
    for (const Case& c : cases) {
        ClassicIcon icon;
        icon.type = 2;
        icon.drawerData = true;
        icon.userData = c.userData;
        icon.toolWindow = c.toolWindow;
        icon.extension = c.extension;
        icon.trailing = c.trailing;
        IconAttributes attributes{};
        auto loaded = loadBytes(icon.bytes(), &attributes);
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(attributes.drawerViewMode, c.viewMode) << c.name;
        EXPECT_EQ(attributes.drawerShowAll, c.showAll) << c.name;
        EXPECT_EQ(std::make_tuple(attributes.drawerLeft, attributes.drawerTop, attributes.drawerWidth,
                                  attributes.drawerHeight),
                  std::make_tuple(10, 20, 300, 200))
            << c.name;
        EXPECT_EQ(picturesOf(loaded.get()).size(), 1u) << c.name;
    }
}

// One field of a valid icon changed: each file loads or fails, as listed.
TEST_F(AmigaReaderTest, SizesFromTheFileAreCheckedBeforeUse) {
    ClassicIcon base;
    base.defaultTool = "SYS:Utilities/More";
    base.hasToolTypes = true;
    base.toolTypes = {"A=1", "B=2"};
    const Bytes valid = base.bytes();
    ASSERT_TRUE(loadBytes(valid));
    const std::size_t planes = 78 + 20;
    const std::size_t defaultTool = planes + 16;  // 16 x 4 x 2 planes: 2 bytes a row
    const std::size_t toolTypes = defaultTool + 4 + 19;
    struct Case {
        const char* name;
        std::size_t offset;
        int width;
        uint32_t value;
        bool loads;
    };
    const Case cases[] = {
        {"depth 9", planes - 12, 2, 9, false},
        {"plane block past the end", planes - 14, 2, 0x7FFF, false},
        {"plane rows of 8192 bytes past the end", planes - 16, 2, 0xFFFF, false},
        {"Gadget 65535 x 65535", 12, 4, 0xFFFFFFFF, false},
        {"default tool past the end", defaultTool, 4, 0x100000, false},
        {"default tool of length 0", defaultTool, 4, 0, false},  // its bytes then misread as the count
        {"tool-type count 2^30", toolTypes, 4, 0xFFFFFFF0, false},
        {"tool-type count below 4", toolTypes, 4, 3, true},
        {"tool-type length past the end", toolTypes + 4, 4, 0xFFFFFFFF, false},
        {"tool-window word with no string", 70, 4, 1, false},
    };
    for (const Case& c : cases) {
        auto loaded = loadBytes(pictra::test::withField(valid, c.offset, c.width, c.value, true));
        EXPECT_EQ(bool(loaded), c.loads) << c.name;
    }
    base.depth = 0;  // a bitmap without planes: pen 0 only, shown as one plane
    auto loaded = loadBytes(base.bytes());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->images->depth, 1);
    EXPECT_EQ(static_cast<const uint8_t*>(loaded->images->pixels)[17], 0);
}

TEST_F(AmigaReaderTest, StoredTextsKeepTheirBytesAndGainATerminator) {
    ClassicIcon icon;
    icon.defaultTool = "x";
    icon.hasToolTypes = true;
    icon.toolTypes = {"A=1", "B=2"};
    Bytes bytes = icon.bytes();
    const std::size_t defaultTool = 78 + 20 + 16;
    bytes[defaultTool + 5] = 'y';  // "x" stored without its NUL
    // The second tool type loses its NUL too; it is the last byte of the file.
    bytes.back() = '!';
    IconAttributes attributes{};
    auto loaded = loadBytes(bytes, &attributes);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ(attributes.defaultTool, "xy");
    EXPECT_EQ(toolTypesOf(attributes), (std::vector<std::string>{"A=1", "B=2!"}));

    // A default tool announced and stored with no bytes at all.
    ClassicIcon empty = icon;
    empty.defaultTool = nullptr;
    Bytes noTool = empty.bytes();
    noTool[53] = 1;
    noTool.insert(noTool.begin() + long(defaultTool), {0, 0, 0, 0});
    loaded = loadBytes(noTool, &attributes);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ(attributes.defaultTool, "");
    EXPECT_EQ(toolTypesOf(attributes), (std::vector<std::string>{"A=1", "B=2"}));
}

TEST_F(AmigaReaderTest, ToolTypesAndTheNewIconsMarker) {
    const auto normal = newIconsLines(0, 4, 3, true, 2);
    const auto selected = newIconsLines(1, 4, 3, false, 5);
    const auto small = newIconsLines(1, 3, 3, false, 5);
    struct Case {
        const char* name;
        std::vector<std::string> stored;
        std::vector<std::string> seen;  // by the caller, NewIcons lines left out
        std::size_t newIcons;           // NewIcons pictures made
    };
    const Case cases[] = {
        {"empty texts hide nothing", {"A=1", "", "B=2", "", "C=3"}, {"A=1", "", "B=2", "", "C=3"}, 0},
        {"marker pair and both pictures", concat(concat({"A=1", " ", kMarker}, normal), selected), {"A=1"}, 2},
        {"marker after another line", concat(concat({"A=1", kMarker}, normal), selected), {"A=1"}, 2},
        {"marker as the first line", concat({kMarker}, normal), {}, 1},
        {"no marker: lines only", concat({"A=1"}, normal), {"A=1"}, 0},
        {"picture lines before the marker", concat(concat({"A=1"}, normal), {" ", kMarker}), {"A=1"}, 0},
        {"blank kept when no marker follows", {" ", "A=1", " "}, {" ", "A=1", " "}, 0},
        {"selected of another size left out", concat(concat({" ", kMarker}, normal), small), {}, 1},
        {"header below 0x21", {" ", kMarker, "IM1=B\x20\x22!\""}, {}, 0},
        {"first line shorter than its header", {" ", kMarker, "IM1=B##!"}, {}, 0},
    };
    for (const Case& c : cases) {
        ClassicIcon icon;
        icon.hasToolTypes = true;
        icon.toolTypes = c.stored;
        IconAttributes attributes{};
        auto loaded = loadBytes(icon.bytes(), &attributes);
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(toolTypesOf(attributes), c.seen) << c.name;
        const auto pictures = picturesOf(loaded.get());
        ASSERT_EQ(pictures.size(), 1 + c.newIcons) << c.name;
        // The first picture of the last set is the primary one.
        EXPECT_EQ(pictures[c.newIcons ? 1 : 0]->flags, uint32_t(IconImagePrimary)) << c.name;
        if (c.newIcons == 2) {
            EXPECT_EQ(pictures[2]->flags, uint32_t(IconImageSelected)) << c.name;
        }
    }
}

TEST_F(AmigaReaderTest, NewIconsPicturesCarryTheirColoursAndPalettesTheTextCanHold) {
    ClassicIcon icon;
    icon.hasToolTypes = true;
    icon.toolTypes = concat({" ", kMarker}, newIconsLines(0, 7, 5, false, 200));
    auto loaded = loadBytes(icon.bytes());
    ASSERT_TRUE(loaded);
    const IconImage* picture = picturesOf(loaded.get()).at(1);
    EXPECT_EQ(picture->depth, 8);  // 201 colours
    EXPECT_EQ(picture->transparentPen, -1);
    EXPECT_EQ(picture->palette[200], 0x010203u * 200);
    EXPECT_EQ(picture->palette[201], 0u);
    const auto* pens = static_cast<const uint8_t*>(picture->pixels);
    for (uint32_t i = 0; i + 1 < 35; ++i) ASSERT_EQ(pens[i], i % 201) << i;
    // 14430 colours with a few characters after the header: even in runs of
    // 47 zero groups they cannot hold 346,320 bits. A palette cut short but
    // possible reads as zeros.
    icon.toolTypes = {" ", kMarker, "IM1=B##\xFF\xFF\xFF\xFF"};
    EXPECT_FALSE(loadBytes(icon.bytes()));
    icon.toolTypes = {" ", kMarker, "IM1=B##!%\xFF\xFF"};
    EXPECT_TRUE(loadBytes(icon.bytes()));
}

}  // namespace
