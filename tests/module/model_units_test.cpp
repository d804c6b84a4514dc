// The icon model and the load and save dispatch, compiled into the test with
// stand-in format readers and writers.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "fake_formats.h"
#include "frame/formats.h"
#include "model/attributes.h"
#include "model/icon_image.h"
#include "model/tags.h"
#include "host/tag_list.h"

namespace {

using namespace std::string_literals;
using pictra::test::Bytes;
using pictra::test::calls;
using pictra::test::tagUsage;
namespace host = pictra::host;

class ModelTest : public pictra::test::ModuleUnitTest {
protected:
    // An Amiga-looking file whose reader (a stand-in) gives the record
    // these tool types, each text followed by its NUL, ended by one more.
    std::string iconWithToolTypes(const std::string& texts) {
        pictra::test::writeFile(path("tt.info"), {0xE3, 0x10, 0x00, 0x01, 0x55});
        pictra::test::fillRecord = [texts](IconRecord* record) {
            *record = {nullptr, 2, 10, -20, 1, 2, 300, 200, 4, 5, 4096, nullptr, nullptr, nullptr};
            if (texts.empty()) return int32_t{1};
            record->toolTypes = static_cast<char*>(
                host::allocMemory(static_cast<uint32_t>(texts.size() + 1), true, "tooltypes"));
            std::memcpy(record->toolTypes, texts.data(), texts.size());
            return int32_t{1};
        };
        return path("tt.info");
    }

    IconRecord* loadWith(const std::string& file, IconAttributes* attributes) {
        TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(attributes)}, {TagEnd, 0}};
        return LoadIcon(file.c_str(), tags);
    }

    static std::vector<std::string> texts(char** array) {
        std::vector<std::string> out;
        for (; *array; ++array) out.emplace_back(*array);
        return out;
    }
};

// The module and the host read a tag list with the same bound.
TEST_F(ModelTest, TagListsAreReadToTheSameBoundByModuleAndHost) {
    for (int at : {int(TagListMaxItems) - 1, int(TagListMaxItems)}) {
        std::vector<TagItem> tags(TagListMaxItems + 2, TagItem{0x77, 1});
        tags[std::size_t(at)] = {SaveTagFormat, 42};
        tags.back() = {TagEnd, 0};
        const bool within = at < TagListMaxItems;
        EXPECT_EQ(GetTagValue(tags.data(), SaveTagFormat, 9), within ? 42u : 9u) << at;
        EXPECT_EQ(host::tagValue(tags.data(), SaveTagFormat).value_or(9), within ? 42u : 9u) << at;
    }
}

TEST_F(ModelTest, PicturesAreSizedByDepthAndLinkedInOrder) {
    IconImage *head = nullptr, *tail = nullptr;
    IconImage* palette = AllocIconImage(5, 3, 8, 2, 0, &head, &tail);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(std::memcmp(palette->palette, Bytes(1024, 0).data(), 1024), 0);
    IconImage* deep = AllocIconImage(5, 3, 24, -1, 1, &head, &tail);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->palette, nullptr);
    EXPECT_EQ(tagUsage("icdata").liveBytes, 15u + 60u);
    EXPECT_EQ(tagUsage("icpalette").liveBytes, 1024u);
    // Linked in call order; the selected one carries flag 2.
    EXPECT_EQ(std::make_tuple(head, palette->next, tail), std::make_tuple(palette, deep, deep));
    EXPECT_EQ(std::make_tuple(palette->transparentPen, palette->flags, deep->flags, deep->mark),
              std::make_tuple(2, 0u, uint32_t{IconImageSelected}, 0u));
    FreeIconImage(deep);
    FreeIconImage(palette);

    // Impossible sizes allocate nothing.
    struct Case { int32_t width, height, depth; };
    const Case cases[] = {{-1, 4, 8}, {4, -1, 32}, {INT32_MIN, 1, 8}, {65536, 65536, 8},
                          {32768, 32768, 32}, {65536, 16384, 24}};
    head = tail = nullptr;
    const std::size_t before = tagUsage("ic").allocations;
    for (const Case& c : cases)
        EXPECT_EQ(AllocIconImage(c.width, c.height, c.depth, -1, 0, &head, &tail), nullptr)
            << c.width << "x" << c.height << "x" << c.depth;
    EXPECT_EQ(tagUsage("ic").allocations, before);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
}

// A half-built node stays linked (tail not advanced) and goes with the record.
TEST_F(ModelTest, FailedAllocationsLeaveTheListReleasable) {
    for (const char* tag : {"icdata", "icpalette"}) {
        SCOPED_TRACE(tag);
        auto* record = static_cast<IconRecord*>(host::allocMemory(sizeof(IconRecord), true, "iconinfo"));
        IconImage* tail = nullptr;
        IconImage* first = AllocIconImage(4, 4, 8, -1, 0, &record->images, &tail);
        ASSERT_NE(first, nullptr);
        host::failAllocationsTagged(tag);
        EXPECT_EQ(AllocIconImage(4, 4, 4, -1, 1, &record->images, &tail), nullptr);
        host::clearAllocationFaults();
        ASSERT_NE(first->next, nullptr);
        EXPECT_EQ(first->next->flags, static_cast<uint32_t>(IconImageSelected));
        EXPECT_EQ(tail, first);
        EXPECT_EQ(GetIconImages(record), first);
        FreeIcon(record);
    }
    // The node itself failing leaves the list as it was.
    IconImage *head = nullptr, *tail = nullptr;
    host::failAllocationNumber(1);
    EXPECT_EQ(AllocIconImage(4, 4, 32, -1, 0, &head, &tail), nullptr);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
}

TEST_F(ModelTest, EachMagicWordReachesItsReaderRightAfterIt) {
    struct Case { Bytes bytes; const char* reader; bool named; };
    const Case cases[] = {
        {{'i', 'c', 'n', 's', 0x11}, "mac", true},
        {{0x89, 'P', 'N', 'G', 0x22}, "png", true},
        {{0xE3, 0x10, 0x00, 0x01, 0x33}, "amiga", true},
        {{0x00, 0x00, 0x01, 0x00, 0x44}, "windows", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reader);
        pictra::test::resetFakeFormats();
        const std::string file = path(std::string(c.reader) + ".png");  // the name plays no part
        pictra::test::writeFile(file, c.bytes);
        IconRecord* record = LoadIcon(file.c_str(), nullptr);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::make_tuple(calls.reader, calls.byteAfterMagic, calls.fileName),
                  std::make_tuple(std::string(c.reader), int32_t{c.bytes[4]}, c.named ? file : ""));
        EXPECT_EQ(host::streamCounters().liveStreams, 0u);
        FreeIcon(record);
    }
    // Other words, short and empty files are refused with no reader run (a
    // missing fourth byte is not a 0); the fixture checks that every stream
    // was closed.
    for (const Bytes& refused : {Bytes{0x00, 0x00, 0x02, 0x00}, Bytes{0xE3, 0x10, 0x00, 0x02},
                                 Bytes{'I', 'C', 'N', 'S'}, Bytes{0x89, 'P', 'N'},
                                 Bytes{0x00, 0x00, 0x01}, Bytes{}}) {
        pictra::test::resetFakeFormats();
        pictra::test::writeFile(path("refused"), refused);
        EXPECT_EQ(LoadIcon(path("refused").c_str(), nullptr), nullptr);
        EXPECT_EQ(calls.reader, "");
    }
    EXPECT_EQ(LoadIcon(path("missing").c_str(), nullptr), nullptr);
}

// The fixture finds any block of the half-built record left behind.
TEST_F(ModelTest, FailingReaderHasItsRecordReleased) {
    pictra::test::writeFile(path("a.ico"), {0x00, 0x00, 0x01, 0x00});
    pictra::test::fillRecord = [](IconRecord* record) {
        IconImage* tail = nullptr;
        AllocIconImage(2, 2, 8, -1, 0, &record->images, &tail);
        host::failAllocationsTagged("icpalette");
        AllocIconImage(2, 2, 8, -1, 1, &record->images, &tail);
        host::clearAllocationFaults();
        record->defaultTool = static_cast<char*>(host::allocMemory(4, true, "deftool"));
        return int32_t{0};
    };
    IconAttributes attributes{};
    EXPECT_EQ(loadWith(path("a.ico"), &attributes), nullptr);
    EXPECT_EQ(attributes.defaultTool, nullptr);
}

// Attributes are copied from the record; the tool types leave out only
// exact NewIcons lines.
TEST_F(ModelTest, AttributesAndToolTypeArrayAreCopiedFromTheRecord) {
    char* sentinel[] = {nullptr};
    struct Case { std::string texts; std::vector<std::string> kept; bool untouched; };
    const Case cases[] = {
        {"IM1=abc\0FOO=1\0IM2=def\0BAR\0"s, {"FOO=1", "BAR"}, false},
        {"im1=x\0IM1\0IM3=y\0IM2=\0 IM1=z\0"s, {"im1=x", "IM1", "IM3=y", " IM1=z"}, false},
        {"IM1=a\0IM2=b\0"s, {}, false},  // an empty array, not a null pointer
        {""s, {}, true},                 // no tool types: the caller's word stays
        {"\0"s, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.texts));
        IconAttributes attributes{};
        attributes.toolTypes = sentinel;
        IconRecord* record = loadWith(iconWithToolTypes(c.texts), &attributes);
        ASSERT_NE(record, nullptr);
        const IconAttributes& a = attributes;
        EXPECT_EQ(std::make_tuple(a.type, a.currentX, a.currentY, a.drawerLeft, a.drawerTop, a.drawerWidth,
                                  a.drawerHeight, a.drawerViewMode, a.drawerShowAll, a.stackSize, a.defaultTool),
                  std::make_tuple(2, 10, -20, 1, 2, 300, 200, 4, 1, 4096, nullptr));
        EXPECT_EQ(attributes.toolTypes, c.untouched ? sentinel : record->toolTypeArray);
        if (&c == cases) {  // room for four texts and the null; the entries point into the record
            EXPECT_EQ(tagUsage("ttarray").liveBytes, 5 * sizeof(char*));
            EXPECT_EQ(attributes.toolTypes[0], record->toolTypes + 8);
        }
        EXPECT_EQ(record->toolTypeArray == nullptr, c.untouched);
        if (record->toolTypeArray) {
            EXPECT_EQ(texts(record->toolTypeArray), c.kept);
        }
        FreeIcon(record);
    }
    // A reader that stores its texts by count keeps the empty ones and
    // everything after them.
    pictra::test::writeFile(path("counted.info"), {0xE3, 0x10, 0x00, 0x01});
    pictra::test::fillRecord = [](IconRecord* record) {
        ToolTypeBlock block{};
        for (const char* text : {"A=1", "", "IM1=x", "B"})
            if (!AppendToolType(&block, text, static_cast<uint32_t>(std::strlen(text)))) return int32_t{0};
        return StoreToolTypes(record, &block);
    };
    IconAttributes counted{};
    IconRecord* withEmpty = loadWith(path("counted.info"), &counted);
    ASSERT_NE(withEmpty, nullptr);
    EXPECT_EQ(texts(counted.toolTypes), (std::vector<std::string>{"A=1", "", "B"}));
    FreeIcon(withEmpty);

    // Without attributes no array is built.
    const std::size_t arrays = tagUsage("ttarray").allocations;
    IconRecord* record = LoadIcon(iconWithToolTypes("FOO\0"s).c_str(), nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->toolTypeArray, nullptr);
    EXPECT_EQ(tagUsage("ttarray").allocations, arrays);
    FreeIcon(record);
}

// The array is built before any attribute is written, so a failure leaves
// the caller's record exactly as it was, with nothing pointing into the
// released icon.
TEST_F(ModelTest, FailedArrayLeavesTheAttributesUntouched) {
    const std::string file = iconWithToolTypes("FOO=1\0"s);
    IconAttributes attributes;
    std::memset(&attributes, 0x5A, sizeof attributes);
    const IconAttributes before = attributes;
    host::failAllocationsTagged("ttarray");
    EXPECT_EQ(loadWith(file, &attributes), nullptr);
    EXPECT_EQ(std::memcmp(&attributes, &before, sizeof attributes), 0);
}

TEST_F(ModelTest, SaveHandsEachFormatWhatItNeeds) {
    IconAttributes attributes{};
    IconImage picture{};
    auto attrs = reinterpret_cast<uintptr_t>(&attributes);
    struct Case { int32_t index; const char* writer; bool getsAttributes; bool getsCompress; };
    const Case cases[] = {{0, "amiga", true, true}, {1, "amiga", true, true}, {2, "amiga", true, true},
                          {3, "amiga", true, true}, {4, "png", true, false},
                          {5, "windows", false, true}, {6, "mac", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.writer + std::to_string(c.index));
        pictra::test::resetFakeFormats();
        const std::string file = path("out" + std::to_string(c.index) + ".ico");
        // The later compress pair overrides the earlier one.
        // Windows and macOS files need no attributes.
        TagItem tags[] = {{SaveTagCompress, 0}, {SaveTagFormat, FormatIds[c.index]},
                          {c.getsAttributes ? uint32_t{SaveTagAttributes} : 0x99u, attrs}, {SaveTagCompress, 9},
                          {TagEnd, 0}};
        EXPECT_EQ(SaveIcon(file.c_str(), &picture, tags), 1);
        EXPECT_EQ(std::make_tuple(calls.writer, calls.images, calls.attributes, calls.compress, calls.formatIndex),
                  std::make_tuple(std::string(c.writer), &picture, c.getsAttributes ? &attributes : nullptr,
                                  c.getsCompress ? 1 : -1, c.index <= 3 ? c.index : -1));
        EXPECT_EQ(pictra::test::readFile(file), (Bytes{'o', 'k'}));
    }
    // The writer's failure is the result; the file stays as written.
    pictra::test::writerResult = 0;
    TagItem tags[] = {{SaveTagFormat, FormatIds[FormatWindows]}, {TagEnd, 0}};
    EXPECT_EQ(SaveIcon(path("failed.ico").c_str(), &picture, tags), 0);
    EXPECT_TRUE(std::filesystem::exists(path("failed.ico")));
    EXPECT_EQ(calls.compress, 0);
}

}  // namespace
