// PNG icons through the real module: the corpus, the icOn tag table on
// hand-made files, and what the writer puts where.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "byte_builder.h"
#include "host/images.h"
#include "module_fixture.h"

namespace {

using pictra::test::ByteBuilder;
using pictra::test::Bytes;
using pictra::test::LoadedIcon;
namespace fs = std::filesystem;
namespace host = pictra::host;

constexpr uint32_t kTagCurrentX = 0x80001001, kTagCurrentY = 0x80001002, kTagDrawerLeft = 0x80001003,
                   kTagDrawerHeight = 0x80001006, kTagDrawerFlags = 0x80001007, kTagStack = 0x80001009,
                   kTagDefaultTool = 0x8000100A, kTagToolType = 0x8000100B, kTagType = 0x8000100F;

uint32_t be32(const Bytes& data, std::size_t at) {
    return static_cast<uint32_t>(data[at]) << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
}

struct PngChunk {
    std::string type;
    Bytes data;
    std::size_t offset;  // of its length field
};

// The chunks of the PNG that starts at `at`; `end` receives the offset after its IEND.
std::vector<PngChunk> pngChunks(const Bytes& file, std::size_t at = 0, std::size_t* end = nullptr) {
    std::vector<PngChunk> chunks;
    at += 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = be32(file, at);
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                               file.begin() + static_cast<std::ptrdiff_t>(at) + 8);
        chunks.push_back({type,
                          Bytes(file.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                                file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length)),
                          at});
        at += 12 + length;
        if (type == "IEND") break;
    }
    if (end) *end = at;
    return chunks;
}

Bytes pngChunk(const std::string& type, const Bytes& data) {
    std::string crcInput = type + std::string(data.begin(), data.end());
    return ByteBuilder().be32(static_cast<uint32_t>(data.size())).text(type).raw(data).be32(
        pictra::test::bitwiseCrc32(crcInput));
}

std::vector<uint32_t> opaquePixels(uint32_t count, uint32_t seed) {
    std::vector<uint32_t> pixels(count);
    for (uint32_t i = 0; i < count; ++i) pixels[i] = 0xFF000000u | (seed * 2654435761u + i * 40503u) % 0xFFFFFFu;
    return pixels;
}

// A 4 x 4 PNG with `chunks` inserted just before its IEND.
Bytes pngIcon(const std::vector<Bytes>& chunks, const std::vector<uint32_t>& pixels = opaquePixels(16, 1)) {
    Bytes png = host::encodePng(pixels.data(), 4, 4);
    Bytes iend(png.end() - 12, png.end());
    png.resize(png.size() - 12);
    for (const Bytes& chunk : chunks) png.insert(png.end(), chunk.begin(), chunk.end());
    png.insert(png.end(), iend.begin(), iend.end());
    return png;
}

class PngIconTest : public pictra::test::ModuleFixture {
protected:
    LoadedIcon loadBytes(const Bytes& file) {
        pictra::test::writeFile(path("icon.info"), file);
        return load(path("icon.info"));
    }
    IconImage* picture(int32_t width, int32_t height, uint32_t seed, uint32_t flags = 0) {
        auto image = std::make_unique<IconImage>();
        pixels_.push_back(opaquePixels(static_cast<uint32_t>(width * height), seed));
        image->pixels = pixels_.back().data();
        image->width = width;
        image->height = height;
        image->depth = 32;
        image->flags = flags;
        image->transparentPen = -1;
        if (!pictures_.empty()) pictures_.back()->next = image.get();
        pictures_.push_back(std::move(image));
        return pictures_.back().get();
    }
    std::vector<std::unique_ptr<IconImage>> pictures_;
    std::vector<std::vector<uint32_t>> pixels_;
};

TEST_F(PngIconTest, EveryCorpusPngIconLoadsWithItsSecondPicture) {
    int files = 0, pairs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "amiga" / "png")) {
        SCOPED_TRACE(entry.path().filename().string());
        ++files;
        const Bytes bytes = pictra::test::readFile(entry.path());
        std::size_t end = 0;
        pngChunks(bytes, 0, &end);
        const bool second = end + 8 < bytes.size() && bytes[end] == 0x89 && bytes[end + 1] == 'P';
        LoadedIcon loaded = load(entry.path().string());
        ASSERT_TRUE(loaded.icon);
        const auto all = loaded.pictures();
        ASSERT_EQ(all.size(), second ? 2u : 1u);
        EXPECT_EQ(all[0]->depth, 32);
        EXPECT_EQ(all[0]->flags, 0u);
        EXPECT_GE(loaded.attributes.type, 1);
        if (!second) continue;
        ++pairs;
        const auto decoded = host::decodeImage(std::span(bytes).subspan(end));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(all[1]->flags, static_cast<uint32_t>(IconImageSelected));
        ASSERT_EQ(static_cast<uint32_t>(all[1]->width), decoded->width);
        EXPECT_EQ(std::memcmp(all[1]->pixels, decoded->pixels.data(), decoded->pixels.size() * 4), 0);
    }
    EXPECT_EQ(files, 40);
    EXPECT_EQ(pairs, 12);

    // One file's attributes in full: position, stack, type from its tags.
    LoadedIcon libMan = load((fs::path(PICTRA_TEST_CORPUS) / "amiga/png/AmiBlitz3__AmiBlitz3_Tools_LibMan.info").string());
    ASSERT_TRUE(libMan.icon);
    EXPECT_EQ(libMan.attributes.type, 3);
    EXPECT_EQ(libMan.attributes.currentX, 145);
    EXPECT_EQ(libMan.attributes.currentY, 71);
    EXPECT_EQ(libMan.attributes.stackSize, 4096);
}

TEST_F(PngIconTest, IconChunkTagsSetTheAttributes) {
    struct Case {
        const char* name;
        Bytes items;
        int32_t type, viewMode, showAll;
        const char* defaultTool;
    };
    auto value = [](uint32_t tag, uint32_t v) -> Bytes { return ByteBuilder().be32(tag).be32(v); };
    auto text = [](uint32_t tag, const std::string& s) -> Bytes { return ByteBuilder().be32(tag).text(s).u8(0); };
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Case cases[] = {
        {"empty chunk: a tool", {}, 3, 0, 0, nullptr},
        {"default tool: a project", text(kTagDefaultTool, "SYS:MultiView"), 4, 0, 0, "SYS:MultiView"},
        {"drawer window: a drawer", value(kTagDrawerLeft, 10), 2, 0, 0, nullptr},
        {"tag 0x80001107: a drawer", value(0x80001107, 1), 2, 0, 0, nullptr},
        {"ignored tags say nothing", join({value(0x8000100C, 1), value(0x80001010, 2), value(0x80001012, 3)}), 3,
         0, 0, nullptr},
        {"flags 5: show all, view mode 3", value(kTagDrawerFlags, 5), 2, 3, 1, nullptr},
        {"flags 2: view mode 1", value(kTagDrawerFlags, 2), 2, 1, 0, nullptr},
        {"flags 3: view mode 1, show all", value(kTagDrawerFlags, 3), 2, 1, 1, nullptr},
        {"flags 0: view mode 2", value(kTagDrawerFlags, 0), 2, 2, 0, nullptr},
        {"a stated type wins", join({value(kTagType, 4), value(kTagDrawerFlags, 0)}), 4, 2, 0, nullptr},
        {"a later default tool replaces an earlier one",
         join({text(kTagDefaultTool, "first"), text(kTagDefaultTool, "second")}), 4, 0, 0, "second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedIcon loaded = loadBytes(pngIcon({pngChunk("icOn", c.items)}));
        ASSERT_TRUE(loaded.icon);
        EXPECT_EQ(loaded.attributes.type, c.type);
        EXPECT_EQ(loaded.attributes.drawerViewMode, c.viewMode);
        EXPECT_EQ(loaded.attributes.drawerShowAll, c.showAll);
        if (c.defaultTool)
            EXPECT_STREQ(loaded.attributes.defaultTool, c.defaultTool);
        else
            EXPECT_EQ(loaded.attributes.defaultTool, nullptr);
    }

    // Values anywhere, several chunks applied in order, tool types collected.
    const Bytes first = join({value(kTagCurrentX, 7), text(kTagToolType, "A=1"), text(kTagToolType, "")});
    const Bytes second = join({value(kTagCurrentX, 9), value(kTagStack, 8192), text(kTagToolType, "B=2")});
    Bytes file = pngIcon({pngChunk("icOn", second)});
    const Bytes early = pngChunk("icOn", first);
    const std::size_t idat = pngChunks(file)[1].offset;  // IHDR, then the image data
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(idat), early.begin(), early.end());
    LoadedIcon loaded = loadBytes(file);
    ASSERT_TRUE(loaded.icon);
    EXPECT_EQ(loaded.attributes.currentX, 9);
    EXPECT_EQ(loaded.attributes.stackSize, 8192);
    EXPECT_EQ(loaded.toolTypes(), (std::vector<std::string>{"A=1", "", "B=2"}));
}

TEST_F(PngIconTest, MalformedIconChunksAndFilesFail) {
    const Bytes good = ByteBuilder().be32(kTagDefaultTool).text("tool").u8(0);
    struct Case {
        const char* name;
        Bytes file;
    };
    Bytes noIend = pngIcon({pngChunk("icOn", good)});
    noIend.resize(noIend.size() - 12);
    Bytes longChunk = pngIcon({pngChunk("icOn", good)});
    const std::size_t icon = pngChunks(longChunk)[2].offset;
    longChunk = pictra::test::withField(longChunk, icon, 4, 0x7FFFFFF0, true);
    const Case cases[] = {
        {"tag 0x80001008", pngIcon({pngChunk("icOn", ByteBuilder().be32(0x80001008).be32(0))})},
        {"an unknown tag", pngIcon({pngChunk("icOn", ByteBuilder().be32(0x80002000).be32(0))})},
        {"a string without its zero byte", pngIcon({pngChunk("icOn", ByteBuilder().be32(kTagToolType).text("abc"))})},
        {"a value cut by the chunk's end", pngIcon({pngChunk("icOn", ByteBuilder().be32(kTagStack).be16(1))})},
        {"a tag cut by the chunk's end", pngIcon({pngChunk("icOn", ByteBuilder().be16(0x8000))})},
        {"no IEND", noIend},
        {"a chunk longer than the file", longChunk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(loadBytes(c.file).icon);
    }
    EXPECT_TRUE(loadBytes(pngIcon({pngChunk("icOn", good)})).icon);
    // Every cut of a valid icon fails or loads, never reads outside.
    const Bytes whole = pngIcon({pngChunk("icOn", good)});
    for (std::size_t cut = 8; cut < whole.size(); ++cut) loadBytes(Bytes(whole.begin(), whole.begin() + cut));
}

TEST_F(PngIconTest, PlaceholderPicturesAreRefused) {
    std::vector<uint32_t> pixels = opaquePixels(16, 3);
    pixels[0] = 0x004B414C;
    pixels[1] = 0x00444552;
    pixels[2] = 0x00554E4F;
    EXPECT_FALSE(loadBytes(pngIcon({pngChunk("icOn", {})}, pixels)).icon);
    for (int word = 0; word < 3; ++word) {
        std::vector<uint32_t> changed = pixels;
        changed[word] ^= 0x00000100;
        EXPECT_TRUE(loadBytes(pngIcon({pngChunk("icOn", {})}, changed)).icon) << word;
    }
}

// The icOn items of a written file, in order, as (tag, value or text).
struct Item {
    uint32_t tag;
    uint32_t value;
    std::string text;
    bool operator==(const Item&) const = default;
};

std::vector<Item> iconItems(const Bytes& data) {
    std::vector<Item> items;
    for (std::size_t at = 0; at + 4 <= data.size();) {
        const uint32_t tag = be32(data, at);
        at += 4;
        if (tag == kTagDefaultTool || tag == kTagToolType) {
            std::string text(reinterpret_cast<const char*>(data.data() + at));
            at += text.size() + 1;
            items.push_back({tag, 0, text});
        } else {
            items.push_back({tag, be32(data, at), ""});
            at += 4;
        }
    }
    return items;
}

TEST_F(PngIconTest, WriterPutsTheAttributeChunkBeforeIend) {
    IconImage* normal = picture(5, 3, 11);
    char tool[] = "C:Ed";
    std::string longText(70000, 'x');
    char* toolTypes[] = {const_cast<char*>("A=1"), longText.data(), nullptr};
    IconAttributes attributes{};
    attributes.type = 4;
    attributes.stackSize = 4096;
    attributes.defaultTool = tool;
    attributes.toolTypes = toolTypes;
    attributes.drawerLeft = 50;  // not a drawer: left out
    ASSERT_EQ(save(path("out.info"), normal, pictra::test::PngIcon, &attributes), 1);

    const Bytes file = pictra::test::readFile(path("out.info"));
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(Bytes(file.end() - 12, file.end()), (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
    const auto chunks = pngChunks(file);
    ASSERT_GE(chunks.size(), 3u);
    const PngChunk& icon = chunks[chunks.size() - 2];
    EXPECT_EQ(icon.type, "icOn");
    EXPECT_EQ(be32(file, icon.offset + 8 + icon.data.size()),
              pictra::test::bitwiseCrc32("icOn" + std::string(icon.data.begin(), icon.data.end())));
    EXPECT_EQ(iconItems(icon.data), (std::vector<Item>{{kTagType, 4, ""},
                                                       {kTagStack, 4096, ""},
                                                       {kTagDefaultTool, 0, "C:Ed"},
                                                       {kTagToolType, 0, "A=1"},
                                                       {kTagToolType, 0, longText}}));
    LoadedIcon loaded = load(path("out.info"));
    ASSERT_TRUE(loaded.icon);
    ASSERT_EQ(loaded.pictures().size(), 1u);
    EXPECT_EQ(std::memcmp(loaded.pictures()[0]->pixels, normal->pixels, 15 * 4), 0);
    EXPECT_EQ(loaded.toolTypes(), (std::vector<std::string>{"A=1", longText}));
}

TEST_F(PngIconTest, DrawerAttributesSurviveForDisksDrawersAndTrashcans) {
    IconImage* normal = picture(4, 4, 12);
    struct Case {
        int32_t type, viewMode, showAll;
        bool flagsItem;
        uint32_t flags;
    };
    const Case cases[] = {
        {2, 1, 0, true, 2}, {2, 2, 0, true, 0}, {2, 5, 1, true, 13}, {2, 0, 0, false, 0},
        {1, 3, 0, true, 4}, {5, 2, 1, true, 1}, {4, 2, 1, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " view " << c.viewMode << " all " << c.showAll);
        IconAttributes attributes{};
        attributes.type = c.type;
        attributes.drawerViewMode = c.viewMode;
        attributes.drawerShowAll = c.showAll;
        attributes.drawerLeft = 20;
        attributes.drawerHeight = 120;
        ASSERT_EQ(save(path("d.info"), normal, pictra::test::PngIcon, &attributes), 1);
        const Bytes file = pictra::test::readFile(path("d.info"));
        const auto chunks = pngChunks(file);
        const auto items = iconItems(chunks[chunks.size() - 2].data);
        const bool drawer = c.type != 4;
        EXPECT_EQ(std::count(items.begin(), items.end(), Item{kTagDrawerLeft, 20, ""}), drawer ? 1 : 0);
        EXPECT_EQ(std::count(items.begin(), items.end(), Item{kTagDrawerHeight, 120, ""}), drawer ? 1 : 0);
        EXPECT_EQ(std::count(items.begin(), items.end(), Item{kTagDrawerFlags, c.flags, ""}), c.flagsItem ? 1 : 0);

        LoadedIcon loaded = load(path("d.info"));
        ASSERT_TRUE(loaded.icon);
        EXPECT_EQ(loaded.attributes.type, c.type);
        if (!drawer) continue;
        EXPECT_EQ(loaded.attributes.drawerViewMode, c.viewMode);
        EXPECT_EQ(loaded.attributes.drawerShowAll, c.showAll);
        EXPECT_EQ(loaded.attributes.drawerLeft, 20);
    }
}

TEST_F(PngIconTest, SelectedPartnerFollowsAsASecondPng) {
    IconImage* normal = picture(6, 6, 21);
    IconImage* selected = picture(6, 6, 22, IconImageSelected);
    IconAttributes attributes{};
    attributes.currentX = 12;
    attributes.currentY = -3;
    ASSERT_EQ(save(path("pair.info"), normal, pictra::test::PngIcon, &attributes), 1);

    const Bytes file = pictra::test::readFile(path("pair.info"));
    std::size_t end = 0;
    const auto first = pngChunks(file, 0, &end);
    EXPECT_EQ(first[first.size() - 2].type, "icOn");
    // The second file is a plain PNG: no attribute chunk.
    std::size_t secondEnd = 0;
    for (const PngChunk& chunk : pngChunks(file, end, &secondEnd)) EXPECT_NE(chunk.type, "icOn");
    EXPECT_EQ(secondEnd, file.size());
    // A reader of the first PNG alone sees an ordinary picture.
    const auto alone = host::decodeImage(std::span(file).first(end));
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->pixels, pixels_[0]);

    LoadedIcon loaded = load(path("pair.info"));
    ASSERT_TRUE(loaded.icon);
    const auto all = loaded.pictures();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]->flags, static_cast<uint32_t>(IconImageSelected));
    EXPECT_EQ(std::memcmp(all[1]->pixels, selected->pixels, 36 * 4), 0);
    EXPECT_EQ(loaded.attributes.type, 3);
    EXPECT_EQ(loaded.attributes.currentX, 12);
    EXPECT_EQ(loaded.attributes.currentY, -3);

    // A partner of another size is left out.
    selected->width = 3;
    selected->height = 12;
    ASSERT_EQ(save(path("single.info"), normal, pictra::test::PngIcon, &attributes), 1);
    EXPECT_EQ(load(path("single.info")).pictures().size(), 1u);
}

TEST_F(PngIconTest, SavesThatMustFailWriteNothing) {
    IconImage palette{};
    uint8_t pens[4] = {};
    uint32_t colours[256] = {};
    palette.pixels = pens;
    palette.palette = colours;
    palette.width = 2;
    palette.height = 2;
    palette.depth = 2;
    IconAttributes attributes{};
    EXPECT_EQ(save(path("none.info"), &palette, pictra::test::PngIcon, &attributes), 0);
    EXPECT_EQ(fs::file_size(path("none.info")), 0u);
    // No memory for the attribute chunk: still nothing written.
    IconImage* normal = picture(4, 4, 31);
    host::failAllocationsTagged("pbuf");
    EXPECT_EQ(save(path("nomem.info"), normal, pictra::test::PngIcon, &attributes), 0);
    host::clearAllocationFaults();
    EXPECT_EQ(fs::file_size(path("nomem.info")), 0u);
}

}  // namespace
