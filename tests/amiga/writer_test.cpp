// Writing Amiga icons through the module: picture choice, the layout of what
// is written, NewIcons lines, and saves that must fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "amiga_fixture.h"
#include "amiga_test_support.h"

namespace {

using pictra::test::AmigaModuleTest;
using pictra::test::Bytes;
using pictra::test::picturesOf;
using pictra::test::toolTypesOf;

const std::string kMarker = "*** DON'T EDIT THE FOLLOWING LINES!! ***";

// A picture the test owns; its pens or pixels follow a pattern.
struct Picture {
    IconImage image{};
    std::vector<uint8_t> pens;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);

    Picture(int32_t width, int32_t height, int32_t depth, uint32_t flags = 0, int32_t transparentPen = 0) {
        image.width = width;
        image.height = height;
        image.depth = depth;
        image.flags = flags;
        image.transparentPen = transparentPen;
        const std::size_t count = std::size_t(width) * std::size_t(height);
        if (depth == 32) {
            pixels.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                pixels[i] = (i % 5 == 0 ? 0x00000000u : 0xFF000000u) | uint32_t(i * 0x030507u & 0xFFFFFF);
        } else {
            pens.resize(count);
            const uint32_t pensUsed = 1u << std::min(depth, 8);
            for (std::size_t i = 0; i < count; ++i) pens[i] = uint8_t((i * 7 + i / 13) % pensUsed);
            for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x112233u * (i + 1) & 0xFFFFFF;
        }
    }
};

// The pictures as a list in their order, each pointing at its own vectors.
IconImage* chain(std::vector<Picture>& pictures) {
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        Picture& picture = pictures[i];
        picture.image.pixels = picture.image.depth == 32 ? static_cast<void*>(picture.pixels.data()) : picture.pens.data();
        picture.image.palette = picture.image.depth == 32 ? nullptr : picture.palette.data();
        picture.image.next = i + 1 < pictures.size() ? &pictures[i + 1].image : nullptr;
    }
    return &pictures.front().image;
}

uint32_t be16(const Bytes& file, std::size_t at) { return uint32_t(file[at]) << 8 | file[at + 1]; }
uint32_t be32(const Bytes& file, std::size_t at) { return be16(file, at) << 16 | be16(file, at + 2); }

class AmigaWriterTest : public AmigaModuleTest {
protected:
    Bytes saveBytes(IconImage* images, const std::string& format, const IconAttributes& attributes, bool* saved) {
        *saved = save(path("out.info"), images, format, &attributes) == 1;
        return pictra::test::readFile(path("out.info"));
    }
};

TEST_F(AmigaWriterTest, ClassicPictureChoiceAndHeader) {
    struct Case {
        const char* name;
        std::vector<Picture> pictures;
        bool saved;
        uint32_t gadgetFlags;
        std::vector<uint32_t> depths;  // of the Image headers written
        const char* format = "AMIGAOS";
    };
    const Case cases[] = {
        {"one 32-bit picture, converted", {Picture(48, 48, 32)}, true, 4, {2}},
        {"2 planes and a selected 2", {Picture(20, 10, 2), Picture(20, 10, 2, IconImageSelected)}, true, 6, {2, 2}},
        {"3 planes and a selected 2", {Picture(20, 10, 3), Picture(20, 10, 2, IconImageSelected)}, true, 4, {3}},
        {"selected of another size", {Picture(20, 10, 2), Picture(21, 10, 2, IconImageSelected)}, true, 4, {2}},
        {"shallowest usable depth 24", {Picture(16, 16, 24), Picture(300, 16, 8)}, false, 0, {}},
        {"shallowest normal converted", {Picture(16, 16, 32), Picture(16, 16, 8), Picture(16, 16, 4, IconImageSelected)},
         true, 6, {2, 2}},
        {"a picture of width 0", {Picture(0, 16, 2)}, false, 0, {}},
        {"larger than 256", {Picture(257, 16, 2)}, false, 0, {}},
        {"no NewIcons picture fits 93 x 93", {Picture(100, 100, 2)}, false, 0, {}, "NEWICON"},
        {"no 32-bit picture", {Picture(16, 16, 2)}, false, 0, {}, "AMIGAOS40"},
        {"normal too large for a FORM", {Picture(300, 300, 32), Picture(16, 16, 32, IconImageSelected)}, false, 0, {},
         "AMIGAOS35"},
    };
    for (const Case& c : cases) {
        std::vector<Picture> pictures = c.pictures;
        IconAttributes attributes{};
        attributes.type = 4;
        bool saved = false;
        const Bytes file = saveBytes(chain(pictures), c.format, attributes, &saved);
        EXPECT_EQ(saved, c.saved) << c.name;
        if (!c.saved) {
            EXPECT_TRUE(file.empty()) << c.name << ": a failed save writes nothing";
            continue;
        }
        const Picture& normal = pictures[0];  // every case's first picture has the size written
        ASSERT_GE(file.size(), 78u) << c.name;
        EXPECT_EQ(be32(file, 0), 0xE3100001u);
        EXPECT_EQ(be16(file, 12), uint32_t(normal.image.width)) << c.name;
        EXPECT_EQ(be16(file, 14), uint32_t(normal.image.height)) << c.name;
        EXPECT_EQ(be16(file, 16), c.gadgetFlags) << c.name;
        EXPECT_EQ(be32(file, 26), c.depths.size() == 2 ? 1u : 0u) << c.name;
        EXPECT_EQ(be32(file, 44), 1u) << c.name;  // UserData: new-style
        EXPECT_EQ(be32(file, 66), 0u) << c.name;  // no drawer data for a project
        std::size_t at = 78;
        const uint32_t rowBytes = ((uint32_t(normal.image.width) + 15) >> 3) & ~1u;
        for (uint32_t depth : c.depths) {
            EXPECT_EQ(be16(file, at + 4), uint32_t(normal.image.width)) << c.name;
            EXPECT_EQ(be16(file, at + 8), depth) << c.name;
            EXPECT_EQ(file[at + 14], (1u << depth) - 1) << c.name << ": every plane picked";
            at += 20 + depth * rowBytes * uint32_t(normal.image.height);
        }
        EXPECT_EQ(file.size(), at) << c.name;
        auto loaded = load(path("out.info"));
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(picturesOf(loaded.get()).size(), c.depths.size()) << c.name;
    }
}

TEST_F(AmigaWriterTest, AttributesAndDrawerData) {
    struct Case {
        int32_t type;
        bool box;  // the caller gives a drawer window
        uint32_t typeWritten;
        bool drawerData;
    };
    const Case cases[] = {
        {0, false, 3, false}, {1, false, 1, true}, {2, false, 2, true}, {2, true, 2, true}, {3, false, 3, false},
        {4, false, 4, false}, {5, false, 5, true}, {4, true, 4, true},
    };
    std::vector<Picture> picture = {Picture(16, 8, 2)};
    const char* toolTypes[] = {"A=1", "", "B=2", nullptr};
    for (const Case& c : cases) {
        // A window box, view mode 3 and show-all, or none of them.
        const int32_t box[4] = {c.box ? 17 : 0, c.box ? 2 : 0, c.box ? 300 : 0, c.box ? 200 : 0};
        IconAttributes attributes{c.type, c.box ? 3 : 0, -5,   7,          box[0], box[1], box[2],
                                  box[3], 8192,          "SYS:Tool", const_cast<char**>(toolTypes), c.box ? 1 : 0};
        bool saved = false;
        const Bytes file = saveBytes(chain(picture), "AMIGAOS", attributes, &saved);
        ASSERT_TRUE(saved) << c.type;
        EXPECT_EQ(file[48], c.typeWritten) << c.type;
        EXPECT_EQ(be32(file, 66), c.drawerData ? 1u : 0u) << c.type;
        if (c.drawerData) {
            EXPECT_EQ(be16(file, 78), uint32_t(box[0])) << c.type;
            EXPECT_EQ(be32(file, 78 + 14), 0x0200127Fu) << c.type;  // window flags
            EXPECT_EQ(be16(file, 134 + 8), 2u) << c.type;          // the Image header follows at 134
            // The extension closes the file: show-all and view mode.
            EXPECT_EQ(be32(file, file.size() - 6), c.box ? 2u : 0u) << c.type;
            EXPECT_EQ(be16(file, file.size() - 2), c.box ? 3u : 0u) << c.type;
        }
        IconAttributes back{};
        auto loaded = load(path("out.info"), &back);
        ASSERT_TRUE(loaded) << c.type;
        EXPECT_EQ(back.drawerViewMode, c.box ? 3 : c.drawerData ? 1 : 0);  // 0 reads back as 1
        EXPECT_EQ(toolTypesOf(back), (std::vector<std::string>{"A=1", "", "B=2"}));
    }
}

// The tool-type block of a written "NEWICON" file.
std::vector<std::string> storedToolTypes(const Bytes& file, uint32_t* countWord) {
    const uint32_t rowBytes = ((be16(file, 12) + 15) >> 3) & ~1u;
    std::size_t at = 78 + (be32(file, 66) ? 56 : 0);
    for (int i = 0; i < (be32(file, 26) ? 2 : 1); ++i) at += 20 + be16(file, at + 8) * rowBytes * be16(file, 14);
    if (be32(file, 50)) at += 4 + be32(file, at);
    *countWord = be32(file, at);
    return pictra::test::linesOf(Bytes(file.begin() + long(at + 4), file.end()));
}

TEST_F(AmigaWriterTest, NewIconsLinesFollowTheCallersToolTypesAndOneMarker) {
    struct Case {
        const char* name;
        std::vector<const char*> toolTypes;  // null-terminated by the test
        bool array;
        std::vector<std::string> before;  // the stored lines before the picture lines
    };
    const Case cases[] = {
        {"no tool types", {}, false, {" ", kMarker}},
        {"plain tool types", {"A=1", "B=2"}, true, {"A=1", "B=2", " ", kMarker}},
        {"marker pair present", {"A=1", " ", kMarker.c_str()}, true, {"A=1", " ", kMarker}},
        {"old picture lines dropped", {"A=1", "IM1=xxxxx", "IM2=yy"}, true, {"A=1", " ", kMarker}},
    };
    std::vector<Picture> pictures = {Picture(16, 8, 2), Picture(20, 12, 32)};
    for (const Case& c : cases) {
        std::vector<const char*> toolTypes = c.toolTypes;
        toolTypes.push_back(nullptr);
        IconAttributes attributes{};
        attributes.toolTypes = c.array ? const_cast<char**>(toolTypes.data()) : nullptr;
        bool saved = false;
        const Bytes file = saveBytes(chain(pictures), "NEWICON", attributes, &saved);
        ASSERT_TRUE(saved) << c.name;
        EXPECT_EQ(be32(file, 54), 1u) << c.name;
        uint32_t countWord = 0;
        const auto stored = storedToolTypes(file, &countWord);
        EXPECT_EQ(countWord, (stored.size() + 1) * 4) << c.name;
        ASSERT_GT(stored.size(), c.before.size()) << c.name;
        EXPECT_EQ(std::vector<std::string>(stored.begin(), stored.begin() + long(c.before.size())), c.before) << c.name;
        EXPECT_EQ(stored[c.before.size()].substr(0, 5), "IM1=B") << c.name;
        EXPECT_EQ(stored.back().substr(0, 4), "IM1=") << c.name;
        IconAttributes back{};
        auto loaded = load(path("out.info"), &back);
        ASSERT_TRUE(loaded) << c.name;
        const auto pictures = picturesOf(loaded.get());
        ASSERT_EQ(pictures.size(), 2u) << c.name;
        EXPECT_EQ(pictures[1]->width, 20);
        EXPECT_EQ(pictures[1]->flags, uint32_t(IconImagePrimary));
    }
}

TEST_F(AmigaWriterTest, NewIconsPictureChoice) {
    struct Case {
        const char* name;
        std::vector<Picture> pictures;
        int32_t width;   // of the NewIcons picture read back
        int32_t depth;
        bool selected;
    };
    const Case cases[] = {
        // The 8-bit picture is converted for the classic part and written
        // unchanged as NewIcons; too large, the 32-bit one is reduced instead.
        {"palette picture unchanged", {Picture(64, 64, 8), Picture(48, 48, 32)}, 64, 8, false},
        {"reduction of a true-colour picture", {Picture(100, 100, 8), Picture(48, 48, 32)}, 48, 0, false},
        {"with its selected partner", {Picture(30, 20, 2), Picture(30, 20, 5), Picture(30, 20, 4, IconImageSelected)}, 30, 5, true},
        // Nothing else to take: the classic picture itself.
        {"classic picture only", {Picture(30, 20, 2), Picture(30, 20, 2, IconImageSelected)}, 30, 2, true},
    };
    for (const Case& c : cases) {
        std::vector<Picture> pictures = c.pictures;
        IconAttributes attributes{};
        ASSERT_EQ(save(path("out.info"), chain(pictures), "NEWICON", &attributes), 1) << c.name;
        auto loaded = load(path("out.info"));
        ASSERT_TRUE(loaded) << c.name;
        const auto back = picturesOf(loaded.get());
        const std::size_t classic = back[1]->flags & IconImageSelected ? 2 : 1;
        ASSERT_EQ(back.size(), classic + (c.selected ? 2 : 1)) << c.name;
        const IconImage* newIcons = back[classic];
        EXPECT_EQ(newIcons->width, c.width) << c.name;
        if (c.depth) {
            EXPECT_EQ(newIcons->depth, c.depth) << c.name;
        }
        if (c.selected) {
            EXPECT_EQ(back[classic + 1]->flags, uint32_t(IconImageSelected)) << c.name;
        }
    }
}

TEST_F(AmigaWriterTest, ATransparentPenOtherThanZeroReadsBackAsPenZero) {
    std::vector<Picture> given = {Picture(9, 9, 2), Picture(9, 9, 4, 0, 5)};
    const Picture& picture = given[1];
    IconAttributes attributes{};
    ASSERT_EQ(save(path("out.info"), chain(given), "NEWICON", &attributes), 1);
    auto loaded = load(path("out.info"));
    ASSERT_TRUE(loaded);
    const IconImage* back = picturesOf(loaded.get()).at(1);
    EXPECT_EQ(back->transparentPen, 0);
    const auto* pens = static_cast<const uint8_t*>(back->pixels);
    for (std::size_t i = 0; i < 81; ++i) {
        EXPECT_EQ(pens[i] == 0, picture.pens[i] == 5) << i;
        if (picture.pens[i] != 5) {
            EXPECT_EQ(back->palette[pens[i]], picture.palette[picture.pens[i]]) << i;
        }
    }
}

TEST_F(AmigaWriterTest, SavesWithoutPicturesOrMemoryFail) {
    IconAttributes attributes{};
    EXPECT_EQ(save(path("none.info"), nullptr, "AMIGAOS", &attributes), 0);
    // Memory that runs out fails the save too, and nothing is left behind.
    std::vector<Picture> pictures = {Picture(30, 20, 2), Picture(30, 20, 32), Picture(30, 20, 32, IconImageSelected)};
    for (const char* tag : {"iedata", "pbuf"}) {
        pictra::host::failAllocationsTagged(tag);
        EXPECT_EQ(save(path("out.info"), chain(pictures), "NEWICON", &attributes), 0) << tag;
        pictra::host::clearAllocationFaults();
    }
    EXPECT_EQ(save(path("out.info"), chain(pictures), "NEWICON", &attributes), 1);
}

}  // namespace
