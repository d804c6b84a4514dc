// Reading Amiga icons through the real module: the layout and its sections,
// the sizes a hostile file can state, tool types and NewIcons pictures.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "amiga/newicons_image.h"
#include "amiga_fixture.h"

namespace {

using namespace pictra::test;

// The NewIcons lines of a width x height picture of pens 0..highestPen,
// made by the module's encoder.
Texts newIconsLines(uint32_t image, uint32_t width, uint32_t height, bool transparent, uint8_t highestPen) {
    std::vector<uint8_t> pens(width * height);
    for (std::size_t i = 0; i < pens.size(); ++i) pens[i] = uint8_t(i % (highestPen + 1u));
    const std::vector<uint32_t> palette(256, 0x123456);
    Bytes out(NewIconsPictureBound(width, height));
    uint32_t used = 0, lines = 0;
    EXPECT_EQ(EncodeNewIconsPicture(pens.data(), width, height, palette.data(), transparent, image, out.data(),
                                    uint32_t(out.size()), &used, &lines), 1);
    out.resize(used);
    return linesOf(out);
}

class AmigaReaderTest : public AmigaModuleTest {};

TEST_F(AmigaReaderTest, DrawerWindowAndItsExtension) {
    const Bytes form = ByteBuilder().text("FORM").be32(0x00010004).text("ICON");
    const struct {
        const char* name;
        uint32_t userData;
        const char* toolWindow;
        Bytes extension, trailing;
        int32_t viewMode, showAll;
    } cases[] = {
        {"new-style, view mode 0 reads as 1", 1, nullptr, ByteBuilder().be32(2).be16(0), {}, 1, 1},
        {"old-style: no extension", 0, nullptr, ByteBuilder().be32(2).be16(3), {}, 0, 0},
        {"tool-window string passed over", 1, "CON:0/0/640/200", ByteBuilder().be32(2).be16(2), {}, 2, 1},
        {"extension missing at the end", 1, nullptr, {}, {}, 1, 0},
        {"extension cut after its flags", 1, nullptr, ByteBuilder().be32(2), {}, 1, 1},
        {"FORM where the extension would be", 1, nullptr, {}, form, 0, 0},
        {"extension, then FORM", 1, nullptr, ByteBuilder().be32(2).be16(4), form, 4, 1},
        {"old-style extension before FORM", 0, nullptr, ByteBuilder().be32(2).be16(4), form, 0, 0},
        {"other trailing bytes, no show-all", 1, nullptr, ByteBuilder().be32(1).be16(5), Bytes{'X', 'Y'}, 5, 0},
    };
    for (const auto& c : cases) {
        ClassicIcon icon;
        icon.type = 2;
        icon.drawerData = true;
        icon.userData = c.userData;
        icon.toolWindow = c.toolWindow;
        icon.extension = c.extension;
        icon.trailing = c.trailing;
        const LoadedIcon loaded = loadBytes(icon.bytes());
        ASSERT_TRUE(loaded.icon) << c.name;
        const IconAttributes& a = loaded.attributes;
        EXPECT_EQ(std::make_tuple(a.drawerViewMode, a.drawerShowAll, a.drawerLeft, a.drawerTop, a.drawerWidth,
                                  a.drawerHeight, loaded.pictures().size()),
                  std::make_tuple(c.viewMode, c.showAll, 10, 20, 300, 200, 1u)) << c.name;
    }
}

// One field of a valid icon changed: each file loads or fails, as listed.
TEST_F(AmigaReaderTest, SizesFromTheFileAreCheckedBeforeUse) {
    ClassicIcon base;
    base.defaultTool = "SYS:Utilities/More";
    base.toolTypes = {"A=1", "B=2"};
    const Bytes valid = base.bytes();
    ASSERT_TRUE(loadBytes(valid).icon);
    const std::size_t planes = 78 + 20;
    const std::size_t defaultTool = planes + 16;  // 16 x 4 x 2 planes: 2 bytes a row
    const std::size_t toolTypes = defaultTool + 4 + 19;
    const struct {
        const char* name;
        std::size_t offset;
        int width;
        uint32_t value;
        bool loads;
    } cases[] = {
        {"depth 9", planes - 12, 2, 9, false},
        {"plane block past the end", planes - 14, 2, 0x7FFF, false},
        {"plane rows of 8192 bytes past the end", planes - 16, 2, 0xFFFF, false},
        {"Gadget 65535 x 65535", 12, 4, 0xFFFFFFFF, false},
        {"default tool past the end", defaultTool, 4, 0x100000, false},
        // Its bytes are then misread as the tool-type count, whose texts run
        // past the end: those before that point are kept.
        {"default tool of length 0", defaultTool, 4, 0, true},
        {"tool-type count below 4", toolTypes, 4, 3, true},
        {"tool-window word with no string", 70, 4, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bool(loadBytes(withField(valid, c.offset, c.width, c.value, true)).icon), c.loads) << c.name;
    base.depth = 0;  // a bitmap without planes: pen 0 only, shown as one plane
    const LoadedIcon loaded = loadBytes(base.bytes());
    ASSERT_TRUE(loaded.icon);
    EXPECT_EQ(loaded.icon->images->depth, 1);
    EXPECT_EQ(static_cast<const uint8_t*>(loaded.icon->images->pixels)[17], 0);
}

// A tool-type block that runs past the end of the file keeps the texts read
// before it, and the icon its pictures; nothing after the block is looked
// for (a FORM there is not found).
TEST_F(AmigaReaderTest, AToolTypeBlockPastTheEndKeepsTheTextsBeforeIt) {
    ClassicIcon base;
    base.toolTypes = {"A=1", "B=2", "C=3"};
    base.type = 2;
    base.drawerData = true;
    base.extension = ByteBuilder().be32(2).be16(3);
    base.trailing = ByteBuilder().text("FORM").be32(18).text("ICON").text("FACE").be32(6).zeros(6);
    const Bytes valid = base.bytes();
    const std::size_t count = 78 + 56 + 20 + 16;  // header, DrawerData, image header, planes
    const struct {
        const char* name;
        std::size_t offset;
        uint32_t value;
        Texts kept;
    } cases[] = {
        {"count 2^30", count, 0xFFFFFFF0, {"A=1", "B=2", "C=3"}},
        {"first length past the end", count + 4, 0xFFFFFFFF, {}},
        {"third length past the end", count + 4 + 8 + 8, 1000, {"A=1", "B=2"}},
        {"second length 10 for 4", count + 4 + 8, 10, {"A=1", "B=2"}},
    };
    for (const auto& c : cases) {
        const LoadedIcon loaded = loadBytes(withField(valid, c.offset, 4, c.value, true));
        ASSERT_TRUE(loaded.icon) << c.name;
        EXPECT_EQ(loaded.pictures().size(), 1u) << c.name;
        EXPECT_EQ(loaded.pictures()[0]->flags, IconImagePrimary) << c.name;
        // What the cut lengths make of the bytes after the kept texts may
        // follow them.
        const Texts texts = loaded.toolTypes();
        ASSERT_GE(texts.size(), c.kept.size()) << c.name;
        EXPECT_EQ(Texts(texts.begin(), texts.begin() + long(c.kept.size())), c.kept) << c.name;
        EXPECT_EQ(std::make_tuple(loaded.attributes.drawerViewMode, loaded.attributes.drawerShowAll),
                  std::make_tuple(0, 0)) << c.name;
    }
    const LoadedIcon whole = loadBytes(valid);
    ASSERT_TRUE(whole.icon);
    EXPECT_EQ(std::make_tuple(whole.toolTypes(), whole.attributes.drawerViewMode), std::make_tuple(base.toolTypes.value(), 3));
}

// The window edges are signed 16-bit words; width and height are not.
TEST_F(AmigaReaderTest, DrawerWindowEdgesAreSignedAndSurviveASave) {
    ClassicIcon icon;
    icon.type = 2;
    icon.drawerData = true;
    const Bytes file = withField(withField(withField(icon.bytes(), 78, 2, 0xA5E8, true), 80, 2, 0xFFFF, true), 82, 2,
                                 0xFFFF, true);
    const LoadedIcon loaded = loadBytes(file);
    ASSERT_TRUE(loaded.icon);
    const IconAttributes& a = loaded.attributes;
    EXPECT_EQ(std::make_tuple(a.drawerLeft, a.drawerTop, a.drawerWidth, a.drawerHeight),
              std::make_tuple(-23064, -1, 65535, 200));
    for (const char* format : {"AMIGAOS", "AMIGAOS35"}) {
        ASSERT_EQ(save(path("out.info"), loaded.icon->images, format, &a), 1) << format;
        const LoadedIcon back = load(path("out.info"));
        ASSERT_TRUE(back.icon) << format;
        EXPECT_EQ(std::make_tuple(back.attributes.drawerLeft, back.attributes.drawerTop, back.attributes.drawerWidth),
                  std::make_tuple(-23064, -1, 65535)) << format;
    }
}

TEST_F(AmigaReaderTest, StoredTextsKeepTheirBytesAndGainATerminator) {
    ClassicIcon icon;
    icon.toolTypes = {"A=1", "B=2"};
    const std::size_t defaultTool = 78 + 20 + 16;
    Bytes empty = icon.bytes();  // a default tool announced and stored with no bytes at all
    empty[53] = 1;
    empty.insert(empty.begin() + long(defaultTool), {0, 0, 0, 0});
    icon.defaultTool = "x";
    Bytes cut = icon.bytes();
    cut[defaultTool + 5] = 'y';  // "x" stored without its NUL
    cut.back() = '!';            // so is the last tool type, at the end of the file
    for (const auto& [file, tool, texts] : {std::tuple{cut, "xy", Texts{"A=1", "B=2!"}},
                                            std::tuple{empty, "", Texts{"A=1", "B=2"}}}) {
        const LoadedIcon loaded = loadBytes(file);
        ASSERT_TRUE(loaded.icon) << tool;
        EXPECT_STREQ(loaded.attributes.defaultTool, tool);
        EXPECT_EQ(loaded.toolTypes(), texts);
    }
}

TEST_F(AmigaReaderTest, ToolTypesAndTheNewIconsMarker) {
    const Texts normal = newIconsLines(0, 4, 3, true, 2);
    const Texts selected = newIconsLines(1, 4, 3, false, 5);
    const Texts small = newIconsLines(1, 3, 3, false, 5);
    const struct {
        const char* name;
        Texts stored;
        Texts seen;             // by the caller, NewIcons lines left out
        std::size_t newIcons;   // NewIcons pictures made
    } cases[] = {
        {"empty texts hide nothing", {"A=1", "", "B=2", "", "C=3"}, {"A=1", "", "B=2", "", "C=3"}, 0},
        {"marker after another line", concat(Texts{"A=1", kMarker}, normal, selected), {"A=1"}, 2},
        {"marker as the first line", concat(Texts{kMarker}, normal), {}, 1},
        {"no marker: lines only", concat(Texts{"A=1"}, normal), {"A=1"}, 0},
        {"picture lines before the marker", concat(Texts{"A=1"}, normal, Texts{" ", kMarker}), {"A=1"}, 0},
        {"blank kept when no marker follows", {" ", "A=1", " "}, {" ", "A=1", " "}, 0},
        {"selected of another size left out", concat(Texts{" ", kMarker}, normal, small), {}, 1},
        {"header below 0x21", {" ", kMarker, "IM1=B\x20\x22!\""}, {}, 0},
        {"first line shorter than its header", {" ", kMarker, "IM1=B##!"}, {}, 0},
    };
    // The first picture of the last set is the primary one.
    const std::vector<uint32_t> expected[] = {{IconImagePrimary}, {0, IconImagePrimary},
                                              {0, IconImagePrimary, IconImageSelected}};
    for (const auto& c : cases) {
        ClassicIcon icon;
        icon.toolTypes = c.stored;
        const LoadedIcon loaded = loadBytes(icon.bytes());
        ASSERT_TRUE(loaded.icon) << c.name;
        EXPECT_EQ(loaded.toolTypes(), c.seen) << c.name;
        std::vector<uint32_t> flags;
        for (const IconImage* picture : loaded.pictures()) flags.push_back(picture->flags);
        EXPECT_EQ(flags, expected[c.newIcons]) << c.name;
    }
}

// 14430 colours with a few characters after the header: even in runs of 47
// zero groups they cannot hold 346,320 bits. A palette cut short but possible
// reads as zeros.
TEST_F(AmigaReaderTest, ANewIconsPaletteTheLinesCannotHoldIsRefused) {
    ClassicIcon icon;
    icon.toolTypes = {" ", kMarker, "IM1=B##\xFF\xFF\xFF\xFF"};
    EXPECT_FALSE(loadBytes(icon.bytes()).icon);
    icon.toolTypes = {" ", kMarker, "IM1=B##!%\xFF\xFF"};
    EXPECT_TRUE(loadBytes(icon.bytes()).icon);
}

}  // namespace
