// Writing Amiga icons through the module: which pictures are written, the
// type and drawer window, NewIcons lines, and saves that must fail. The bytes
// of what is written are pinned by the output identity suite.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "amiga_fixture.h"
#include "icon_pictures.h"

namespace {

using namespace pictra::test;

// A picture to save; its pens or pixels follow a pattern.
struct Given {
    int32_t width, height, depth;
    uint32_t flags = 0;
    int32_t transparentPen = 0;
};

class AmigaWriterTest : public AmigaModuleTest {
protected:
    // Saves the pictures, linked in their order (made in given_), and loads
    // the file back (kept in file_); a failed save must write nothing.
    LoadedIcon saveAndLoad(const std::vector<Given>& pictures, const std::string& format, const IconAttributes& attributes) {
        list_ = PictureList{};
        given_.clear();
        for (const Given& g : pictures) {
            IconImage* image = given_.emplace_back(list_.add(g.width, g.height, g.depth, g.transparentPen));
            image->flags = g.flags;
            for (std::size_t i = 0; i < std::size_t(g.width) * std::size_t(g.height); ++i) {
                if (g.depth > 8) wordsOf(image)[i] = (i % 5 == 0 ? 0u : 0xFF000000u) | uint32_t(i * 0x030507u & 0xFFFFFF);
                else pensOf(image)[i] = uint8_t((i * 7 + i / 13) % (1u << g.depth));
            }
            for (uint32_t i = 0; image->palette && i < 256; ++i) image->palette[i] = 0x112233u * (i + 1) & 0xFFFFFF;
        }
        const int32_t saved = save(path("out.info"), list_.head(), format, &attributes);
        file_ = readFile(path("out.info"));
        EXPECT_EQ(saved, file_.empty() ? 0 : 1) << "a failed save writes nothing";
        return saved ? load(path("out.info")) : LoadedIcon{};
    }
    PictureList list_;
    std::vector<IconImage*> given_;
    Bytes file_;
};

TEST_F(AmigaWriterTest, ClassicPictureChoice) {
    const struct {
        const char* name;
        std::vector<Given> pictures;
        uint32_t gadgetFlags;          // 0: the save fails; else the highlight mode follows the selected picture
        std::vector<int32_t> depths;   // of the classic pictures written
        const char* format = "AMIGAOS";
    } cases[] = {
        {"3 planes and a selected 2", {{20, 10, 3}, {20, 10, 2, IconImageSelected}}, 4, {3}},
        {"selected of another size", {{20, 10, 2}, {21, 10, 2, IconImageSelected}}, 4, {2}},
        {"shallowest usable depth 24", {{16, 16, 24}, {300, 16, 8}}, 0, {}},
        {"shallowest normal converted", {{16, 16, 32}, {16, 16, 8}, {16, 16, 4, IconImageSelected}}, 6, {2, 2}},
        {"a picture of width 0", {{0, 16, 2}}, 0, {}},
        {"larger than 256", {{257, 16, 2}}, 0, {}},
        {"normal too large for a FORM", {{300, 300, 32}, {16, 16, 32, IconImageSelected}}, 0, {}, "AMIGAOS35"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IconAttributes attributes{};
        attributes.type = 4;
        const LoadedIcon saved = saveAndLoad(c.pictures, c.format, attributes);
        if (!c.gadgetFlags) {
            EXPECT_TRUE(file_.empty());
            continue;
        }
        EXPECT_EQ(be16(file_, 16), c.gadgetFlags);
        std::vector<int32_t> depths;
        for (const IconImage* picture : saved.pictures()) {
            EXPECT_EQ(picture->width, c.pictures[0].width);
            depths.push_back(picture->depth);
        }
        EXPECT_EQ(depths, c.depths);
    }
    const IconAttributes none{};
    EXPECT_EQ(save(path("none.info"), nullptr, "AMIGAOS", &none), 0);
    PictureList withoutPixels;
    withoutPixels.add(16, 16, 2)->pixels = nullptr;
    for (const char* format : {"AMIGAOS", "NEWICON", "AMIGAOS35"})
        EXPECT_EQ(save(path("none.info"), withoutPixels.head(), format, &none), 0) << format;
}

TEST_F(AmigaWriterTest, TypeAndDrawerData) {
    const struct {
        int32_t type;
        bool box;  // the caller gives a drawer window: left 17, view mode 3, show-all
        int32_t typeWritten;
        bool drawerData;
    } cases[] = {{0, false, 3, false}, {1, false, 1, true}, {2, false, 2, true}, {2, true, 2, true},
                 {3, false, 3, false}, {4, false, 4, false}, {5, false, 5, true}, {4, true, 4, true}};
    const std::vector<Given> picture = {{16, 8, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        IconAttributes attributes{};
        attributes.type = c.type;
        if (c.box) attributes.drawerLeft = 17, attributes.drawerWidth = 300, attributes.drawerViewMode = 3,
                   attributes.drawerShowAll = 1;
        const IconAttributes back = saveAndLoad(picture, "AMIGAOS", attributes).attributes;
        ASSERT_FALSE(file_.empty());
        // Without a window, drawer data reads back as view mode 1.
        EXPECT_EQ(std::make_tuple(back.type, back.drawerLeft, back.drawerViewMode, back.drawerShowAll),
                  std::make_tuple(c.typeWritten, c.box ? 17 : 0, c.box ? 3 : c.drawerData ? 1 : 0, c.box ? 1 : 0));
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
    const std::vector<Given> pictures = {{16, 8, 2}, {20, 12, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> toolTypes = c.toolTypes;
        toolTypes.push_back(nullptr);
        IconAttributes attributes{};
        attributes.toolTypes = c.toolTypes.empty() ? nullptr : const_cast<char**>(toolTypes.data());
        const LoadedIcon loaded = saveAndLoad(pictures, "NEWICON", attributes);
        ASSERT_FALSE(file_.empty());
        const std::size_t block = 78 + 20 + 2 * 2 * 8;  // after the one 16 x 8 x 2 classic picture
        const Texts stored = linesOf(Bytes(file_.begin() + long(block) + 4, file_.end()));
        ASSERT_GT(stored.size(), c.before.size());
        EXPECT_EQ(Texts(stored.begin(), stored.begin() + long(c.before.size())), c.before);
        EXPECT_EQ(stored[c.before.size()].substr(0, 5), "IM1=B");
        EXPECT_EQ(stored.back().substr(0, 4), "IM1=");
        ASSERT_EQ(loaded.pictures().size(), 2u);
        EXPECT_EQ(std::make_tuple(loaded.pictures()[1]->width, loaded.pictures()[1]->flags),
                  std::make_tuple(20, uint32_t(IconImagePrimary)));
    }
}

// The NewIcons picture read back has the colours of the given picture it was
// made from, a transparent pen other than 0 turned into pen 0.
TEST_F(AmigaWriterTest, NewIconsPictureChoice) {
    const struct {
        const char* name;
        std::vector<Given> pictures;
        int32_t width, from;  // of the NewIcons picture; from: the given picture it equals (-1: a reduction)
        bool selected;        // the one after it is its selected partner
        int32_t pen = 0;      // its transparent pen read back
    } cases[] = {
        // The 8-bit picture is converted for the classic part and written
        // unchanged as NewIcons; too large, the 32-bit one is reduced instead.
        {"palette picture unchanged", {{64, 64, 8}, {48, 48, 32}}, 64, 0, false},
        {"reduction of a true-colour picture", {{100, 100, 8}, {48, 48, 32}}, 48, -1, false},
        {"with its selected partner", {{30, 20, 2}, {30, 20, 5}, {30, 20, 4, IconImageSelected}}, 30, 1, true},
        // Nothing else to take: the classic picture itself.
        {"classic picture only", {{30, 20, 2}, {30, 20, 2, IconImageSelected}}, 30, 0, true},
        {"transparent pen 5", {{9, 9, 2}, {9, 9, 4, 0, 5}}, 9, 1, false},
        {"no such transparent pen", {{9, 9, 2}, {9, 9, 4, 0, 256}}, 9, 1, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedIcon saved = saveAndLoad(c.pictures, "NEWICON", IconAttributes{});
        const auto back = saved.pictures();
        ASSERT_GE(back.size(), 2u);
        const std::size_t classic = back[1]->flags & IconImageSelected ? 2 : 1;
        ASSERT_EQ(back.size(), classic + (c.selected ? 2 : 1));
        EXPECT_EQ(std::make_tuple(back[classic]->width, back[classic]->transparentPen), std::make_tuple(c.width, c.pen));
        for (std::size_t i = 0; c.from >= 0 && i < (c.selected ? 2 : 1); ++i) {
            const IconImage &given = *given_[std::size_t(c.from) + i], *written = back[classic + i];
            EXPECT_EQ(std::make_tuple(written->depth, written->flags & IconImageSelected, argbOf(*written)),
                      std::make_tuple(given.depth, given.flags, argbOf(given)));
        }
    }
}

}  // namespace
