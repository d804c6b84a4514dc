// Writing Amiga icons through the module: picture choice, the layout of what
// is written, NewIcons lines, and saves that must fail.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "amiga_fixture.h"

namespace {

using namespace pictra::test;

// A picture the test owns; its pens or pixels follow a pattern.
struct Picture {
    IconImage image{};
    std::vector<uint8_t> pens;
    std::vector<uint32_t> pixels, palette = std::vector<uint32_t>(256);

    Picture(int32_t width, int32_t height, int32_t depth, uint32_t flags = 0, int32_t transparentPen = 0) {
        image = IconImage{nullptr, nullptr, width, height, flags, nullptr, transparentPen, depth, 0};
        const std::size_t count = std::size_t(width) * std::size_t(height);
        for (std::size_t i = 0; depth == 32 && i < count; ++i)
            pixels.push_back((i % 5 == 0 ? 0u : 0xFF000000u) | uint32_t(i * 0x030507u & 0xFFFFFF));
        for (std::size_t i = 0; depth != 32 && i < count; ++i) pens.push_back(uint8_t((i * 7 + i / 13) % (1u << std::min(depth, 8))));
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x112233u * (i + 1) & 0xFFFFFF;
    }
};

// The pictures as a list in their order, each pointing at its own vectors.
IconImage* chain(std::vector<Picture>& pictures) {
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        IconImage& image = pictures[i].image;
        image.pixels = image.depth == 32 ? static_cast<void*>(pictures[i].pixels.data()) : pictures[i].pens.data();
        image.palette = image.depth == 32 ? nullptr : pictures[i].palette.data();
        image.next = i + 1 < pictures.size() ? &pictures[i + 1].image : nullptr;
    }
    return &pictures.front().image;
}

class AmigaWriterTest : public AmigaModuleTest {
protected:
    // The file written, empty when the save failed.
    Bytes saveBytes(std::vector<Picture>& pictures, const std::string& format, const IconAttributes& attributes) {
        const int32_t saved = save(path("out.info"), chain(pictures), format, &attributes);
        const Bytes file = readFile(path("out.info"));
        EXPECT_EQ(saved, file.empty() ? 0 : 1) << "a failed save writes nothing";
        return file;
    }
};

TEST_F(AmigaWriterTest, ClassicPictureChoice) {
    const struct {
        const char* name;
        std::vector<Picture> pictures;
        uint32_t gadgetFlags;          // 0: the save fails
        std::vector<int32_t> depths;   // of the classic pictures written
        const char* format = "AMIGAOS";
    } cases[] = {
        {"one 32-bit picture, converted", {Picture(48, 48, 32)}, 4, {2}},
        {"2 planes and a selected 2", {Picture(20, 10, 2), Picture(20, 10, 2, IconImageSelected)}, 6, {2, 2}},
        {"3 planes and a selected 2", {Picture(20, 10, 3), Picture(20, 10, 2, IconImageSelected)}, 4, {3}},
        {"selected of another size", {Picture(20, 10, 2), Picture(21, 10, 2, IconImageSelected)}, 4, {2}},
        {"shallowest usable depth 24", {Picture(16, 16, 24), Picture(300, 16, 8)}, 0, {}},
        {"shallowest normal converted", {Picture(16, 16, 32), Picture(16, 16, 8), Picture(16, 16, 4, IconImageSelected)}, 6, {2, 2}},
        {"a picture of width 0", {Picture(0, 16, 2)}, 0, {}},
        {"larger than 256", {Picture(257, 16, 2)}, 0, {}},
        {"no NewIcons picture fits 93 x 93", {Picture(100, 100, 2)}, 0, {}, "NEWICON"},
        {"no 32-bit picture", {Picture(16, 16, 2)}, 0, {}, "AMIGAOS40"},
        {"normal too large for a FORM", {Picture(300, 300, 32), Picture(16, 16, 32, IconImageSelected)}, 0, {}, "AMIGAOS35"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Picture> pictures = c.pictures;
        IconAttributes attributes{};
        attributes.type = 4;
        const Bytes file = saveBytes(pictures, c.format, attributes);
        if (!c.gadgetFlags) {
            EXPECT_TRUE(file.empty());
            continue;
        }
        // The header's bytes are pinned by the output identity suite; the
        // highlight mode follows the selected picture.
        EXPECT_EQ(be16(file, 16), c.gadgetFlags);
        std::vector<int32_t> depths;
        const LoadedIcon saved = load(path("out.info"));
        for (const IconImage* picture : saved.pictures()) {
            EXPECT_EQ(picture->width, pictures[0].image.width);
            depths.push_back(picture->depth);
        }
        EXPECT_EQ(depths, c.depths);
    }
    const IconAttributes none{};
    EXPECT_EQ(save(path("none.info"), nullptr, "AMIGAOS", &none), 0);
}

TEST_F(AmigaWriterTest, TypeAndDrawerData) {
    const struct {
        int32_t type;
        bool box;  // the caller gives a drawer window
        uint32_t typeWritten;
        bool drawerData;
    } cases[] = {{0, false, 3, false}, {1, false, 1, true}, {2, false, 2, true}, {2, true, 2, true},
                 {3, false, 3, false}, {4, false, 4, false}, {5, false, 5, true}, {4, true, 4, true}};
    std::vector<Picture> picture = {Picture(16, 8, 2)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        // A window box, view mode 3 and show-all, or none of them.
        IconAttributes attributes{};
        attributes.type = c.type;
        if (c.box) attributes.drawerLeft = 17, attributes.drawerWidth = 300, attributes.drawerViewMode = 3,
                   attributes.drawerShowAll = 1;
        const Bytes file = saveBytes(picture, "AMIGAOS", attributes);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(file[48], c.typeWritten);
        EXPECT_EQ(be32(file, 66), c.drawerData ? 1u : 0u);
        // The window's layout is pinned by the output identity suite.
        const IconAttributes back = load(path("out.info")).attributes;
        EXPECT_EQ(std::make_tuple(back.drawerLeft, back.drawerViewMode, back.drawerShowAll),
                  std::make_tuple(c.box ? 17 : 0, c.box ? 3 : c.drawerData ? 1 : 0, c.box ? 1 : 0));
    }
}

TEST_F(AmigaWriterTest, NewIconsLinesFollowTheCallersToolTypesAndOneMarker) {
    const struct {
        const char* name;
        std::vector<const char*> toolTypes;  // null-terminated by the test
        Texts before;                        // the stored lines before the picture lines
    } cases[] = {
        {"no tool types", {}, {" ", kMarker}},
        {"marker pair present", {"A=1", " ", kMarker.c_str()}, {"A=1", " ", kMarker}},
        {"old picture lines dropped", {"A=1", "IM1=xxxxx", "IM2=yy"}, {"A=1", " ", kMarker}},
    };
    std::vector<Picture> pictures = {Picture(16, 8, 2), Picture(20, 12, 32)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> toolTypes = c.toolTypes;
        toolTypes.push_back(nullptr);
        IconAttributes attributes{};
        attributes.toolTypes = c.toolTypes.empty() ? nullptr : const_cast<char**>(toolTypes.data());
        const Bytes file = saveBytes(pictures, "NEWICON", attributes);
        ASSERT_FALSE(file.empty());
        // Plain tool types and the block's layout are pinned by the output
        // identity suite.
        const std::size_t block = 78 + 20 + 2 * 2 * 8;  // after the one 16 x 8 x 2 classic picture
        const Texts stored = linesOf(Bytes(file.begin() + long(block) + 4, file.end()));
        ASSERT_GT(stored.size(), c.before.size());
        EXPECT_EQ(Texts(stored.begin(), stored.begin() + long(c.before.size())), c.before);
        EXPECT_EQ(stored[c.before.size()].substr(0, 5), "IM1=B");
        EXPECT_EQ(stored.back().substr(0, 4), "IM1=");
        const LoadedIcon loaded = load(path("out.info"));
        ASSERT_EQ(loaded.pictures().size(), 2u);
        EXPECT_EQ(std::make_tuple(loaded.pictures()[1]->width, loaded.pictures()[1]->flags),
                  std::make_tuple(20, uint32_t(IconImagePrimary)));
    }
}

TEST_F(AmigaWriterTest, NewIconsPictureChoice) {
    const struct {
        const char* name;
        std::vector<Picture> pictures;
        int32_t width, depth;  // of the NewIcons picture read back; depth 0: not checked
        bool selected;
    } cases[] = {
        // The 8-bit picture is converted for the classic part and written
        // unchanged as NewIcons; too large, the 32-bit one is reduced instead.
        {"palette picture unchanged", {Picture(64, 64, 8), Picture(48, 48, 32)}, 64, 8, false},
        {"reduction of a true-colour picture", {Picture(100, 100, 8), Picture(48, 48, 32)}, 48, 0, false},
        {"with its selected partner", {Picture(30, 20, 2), Picture(30, 20, 5), Picture(30, 20, 4, IconImageSelected)}, 30, 5, true},
        // Nothing else to take: the classic picture itself.
        {"classic picture only", {Picture(30, 20, 2), Picture(30, 20, 2, IconImageSelected)}, 30, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Picture> pictures = c.pictures;
        ASSERT_FALSE(saveBytes(pictures, "NEWICON", IconAttributes{}).empty());
        const LoadedIcon saved = load(path("out.info"));
        const auto back = saved.pictures();
        const std::size_t classic = back[1]->flags & IconImageSelected ? 2 : 1;
        ASSERT_EQ(back.size(), classic + (c.selected ? 2 : 1));
        EXPECT_EQ(back[classic]->width, c.width);
        if (c.depth) { EXPECT_EQ(back[classic]->depth, c.depth); }
        if (c.selected) { EXPECT_EQ(back[classic + 1]->flags, uint32_t(IconImageSelected)); }
    }
}

TEST_F(AmigaWriterTest, ATransparentPenOtherThanZeroReadsBackAsPenZero) {
    std::vector<Picture> given = {Picture(9, 9, 2), Picture(9, 9, 4, 0, 5)};
    ASSERT_FALSE(saveBytes(given, "NEWICON", IconAttributes{}).empty());
    const LoadedIcon loaded = load(path("out.info"));
    const IconImage* back = loaded.pictures().at(1);
    EXPECT_EQ(back->transparentPen, 0);
    const auto* pens = static_cast<const uint8_t*>(back->pixels);
    for (std::size_t i = 0; i < 81; ++i) {
        const uint8_t pen = given[1].pens[i];
        EXPECT_EQ(pens[i] == 0, pen == 5) << i;
        if (pen != 5) { EXPECT_EQ(back->palette[pens[i]], given[1].palette[pen]) << i; }
    }
}

}  // namespace
