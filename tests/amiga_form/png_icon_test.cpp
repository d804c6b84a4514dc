// PNG icons through the real module: the icOn tag table on hand-made files,
// and what the writer puts where. The corpus's PNG icons are in the Amiga
// corpus suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "amiga/amiga_fixture.h"
#include "icon_pictures.h"
#include "host/images.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;

constexpr uint32_t kTagCurrentX = 0x80001001, kTagDrawerLeft = 0x80001003, kTagDrawerFlags = 0x80001007,
                   kTagStack = 0x80001009, kTagDefaultTool = 0x8000100A, kTagToolType = 0x8000100B,
                   kTagType = 0x8000100F;

// Where each chunk of `file`, a single PNG, starts (at its length field).
std::vector<std::size_t> chunkOffsets(const Bytes& file) {
    std::vector<std::size_t> offsets;
    for (std::size_t at = 8; at + 12 <= file.size(); at += 12 + be32(file, at)) offsets.push_back(at);
    return offsets;
}

Bytes value(uint32_t tag, uint32_t v) { return ByteBuilder().be32(tag).be32(v); }
Bytes text(uint32_t tag, const std::string& s) { return ByteBuilder().be32(tag).text(s).u8(0); }

std::vector<uint32_t> opaquePixels(uint32_t count, uint32_t seed) {
    std::vector<uint32_t> pixels(count);
    for (uint32_t i = 0; i < count; ++i) pixels[i] = 0xFF000000u | (seed * 2654435761u + i * 40503u) % 0xFFFFFFu;
    return pixels;
}

// A 4 x 4 PNG with an icOn chunk of `items` just before its IEND.
Bytes pngIcon(const Bytes& items, const std::vector<uint32_t>& pixels = opaquePixels(16, 1)) {
    Bytes png = host::encodePng(pixels.data(), 4, 4);
    const Bytes chunk = pngChunk("icOn", items);
    png.insert(png.end() - 12, chunk.begin(), chunk.end());
    return png;
}

using PngIconTest = AmigaModuleTest;

TEST_F(PngIconTest, IconChunkTagsSetTheAttributes) {
    struct Case {
        const char* name;
        Bytes items;
        int32_t type, viewMode, showAll;
        const char* defaultTool;
    };
    const Case cases[] = {
        {"empty chunk: a tool", {}, 3, 0, 0, nullptr},
        {"default tool: a project", text(kTagDefaultTool, "SYS:MultiView"), 4, 0, 0, "SYS:MultiView"},
        {"drawer window: a drawer", value(kTagDrawerLeft, 10), 2, 0, 0, nullptr},
        {"tag 0x80001107: a drawer", value(0x80001107, 1), 2, 0, 0, nullptr},
        {"ignored tags say nothing", concat(value(0x8000100C, 1), value(0x80001012, 3)), 3, 0, 0, nullptr},
        {"flags 5: show all, view mode 3", value(kTagDrawerFlags, 5), 2, 3, 1, nullptr},
        {"flags 3: view mode 1, show all", value(kTagDrawerFlags, 3), 2, 1, 1, nullptr},
        {"flags 0: view mode 2", value(kTagDrawerFlags, 0), 2, 2, 0, nullptr},
        {"flags 12: view mode 5", value(kTagDrawerFlags, 12), 2, 5, 0, nullptr},
        {"flags 16: no view mode", value(kTagDrawerFlags, 16), 2, 0, 0, nullptr},
        {"flags 0xFFFFFFF9: show all, no view mode", value(kTagDrawerFlags, 0xFFFFFFF9), 2, 0, 1, nullptr},
        {"a stated type wins", concat(value(kTagType, 4), value(kTagDrawerFlags, 0)), 4, 2, 0, nullptr},
        {"a later default tool replaces an earlier one",
         concat(text(kTagDefaultTool, "first"), text(kTagDefaultTool, "second")), 4, 0, 0, "second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedIcon loaded = loadBytes(pngIcon(c.items));
        ASSERT_TRUE(loaded.icon);
        const IconAttributes& a = loaded.attributes;
        EXPECT_EQ(std::make_tuple(a.type, a.drawerViewMode, a.drawerShowAll),
                  std::make_tuple(c.type, c.viewMode, c.showAll));
        EXPECT_STREQ(loaded.attributes.defaultTool, c.defaultTool);
    }
    // A chunk among the image data and one before IEND apply in order; tool
    // types accumulate, empty ones too.
    Bytes file = pngIcon(concat(value(kTagCurrentX, 9), text(kTagToolType, "B=2")));
    const Bytes early =
        pngChunk("icOn", concat(value(kTagCurrentX, 7), text(kTagToolType, "A=1"), text(kTagToolType, "")));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(chunkOffsets(file)[1]), early.begin(), early.end());
    LoadedIcon loaded = loadBytes(file);
    ASSERT_TRUE(loaded.icon);
    EXPECT_EQ(loaded.attributes.currentX, 9);
    EXPECT_EQ(loaded.toolTypes(), (std::vector<std::string>{"A=1", "", "B=2"}));
}

TEST_F(PngIconTest, MalformedFilesAndPlaceholdersAreRefused) {
    Bytes noIend = pngIcon({});
    noIend.resize(noIend.size() - 12);
    const Bytes good = pngIcon(text(kTagToolType, "x"));
    std::vector<uint32_t> marked = opaquePixels(16, 3);
    std::copy_n(std::begin({0x004B414Cu, 0x00444552u, 0x00554E4Fu}), 3, marked.begin());
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"tag 0x80001008", pngIcon(value(0x80001008, 0))},
        {"an unknown tag", pngIcon(value(0x80002000, 0))},
        {"a string without its zero byte", pngIcon(ByteBuilder().be32(kTagToolType).text("abc"))},
        {"a value cut by the chunk's end", pngIcon(ByteBuilder().be32(kTagStack).be16(1))},
        {"no IEND", noIend},
        {"a chunk longer than the file", withField(good, chunkOffsets(good)[2], 4, 0x7FFFFFF0, true)},
        {"the placeholder picture", pngIcon({}, marked)},
    };
    for (const auto& c : cases) EXPECT_FALSE(loadBytes(c.file).icon) << c.name;
    EXPECT_TRUE(loadBytes(good).icon);
    // A second PNG (the selected picture) that does not decode is left out.
    const LoadedIcon damagedPartner = loadBytes(concat(good, ByteBuilder().text("\x89PNG\r\n\x1a\n").zeros(30).bytes()));
    ASSERT_TRUE(damagedPartner.icon);
    EXPECT_EQ(damagedPartner.pictures().size(), 1u);
    EXPECT_EQ(damagedPartner.toolTypes(), std::vector<std::string>{"x"});
    // Any one of the marker's twelve bytes changed: an ordinary picture.
    marked[2] ^= 0x00000100;
    EXPECT_TRUE(loadBytes(pngIcon({}, marked)).icon);
}

// The writer's bytes (the icOn items in order, before IEND, and a selected
// partner as a plain second PNG) are pinned by the output identity suite, and
// the corpus round trip carries every PNG icon's attributes and pictures.
TEST_F(PngIconTest, LongToolTypesAndPartnersOfTheSameSizeOnlyAreWritten) {
    PictureList list;
    IconImage *normal = list.add(6, 6, 32), *selected = list.add(6, 6, 32);
    selected->flags = IconImageSelected;
    for (uint32_t i = 0; i < 36; ++i) wordsOf(normal)[i] = 0xFF000000u | i, wordsOf(selected)[i] = 0xFF00FF00u | i;
    std::string longText(70000, 'x');  // past the first 64 KiB of the chunk
    char* toolTypes[] = {const_cast<char*>("A=1"), longText.data(), nullptr};
    IconAttributes attributes{};
    attributes.toolTypes = toolTypes;
    ASSERT_EQ(save(path("pair.info"), normal, "PNG", &attributes), 1);
    LoadedIcon loaded = load(path("pair.info"));
    ASSERT_EQ(loaded.pictures().size(), 2u);
    EXPECT_EQ(std::memcmp(loaded.pictures()[1]->pixels, selected->pixels, 36 * 4), 0);
    EXPECT_EQ(loaded.toolTypes(), (std::vector<std::string>{"A=1", longText}));
    // A partner of another size is left out.
    selected->width = 3;
    selected->height = 12;
    ASSERT_EQ(save(path("single.info"), normal, "PNG", &attributes), 1);
    EXPECT_EQ(load(path("single.info")).pictures().size(), 1u);
}

}  // namespace
