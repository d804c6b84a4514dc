// The icon model and the load and save dispatch, compiled into the test with
// stand-in format readers and writers. Allocations failing while pictures
// and records are built, and readers failing half-way, are the damage
// sweep's: it fails each allocation in turn and finds any block left live.
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

// How pictures are sized and linked is walked on every load by the format
// suites and the damage sweep; here the sizes that must allocate nothing.
TEST_F(ModelTest, ImpossiblePictureSizesAllocateNothing) {
    struct Case { int32_t width, height, depth; };
    const Case cases[] = {{-1, 4, 8}, {4, -1, 32}, {INT32_MIN, 1, 8}, {65536, 65536, 8},
                          {32768, 32768, 32}, {65536, 16384, 24}};
    IconImage *head = nullptr, *tail = nullptr;
    const std::size_t before = tagUsage("ic").allocations;
    for (const Case& c : cases)
        EXPECT_EQ(AllocIconImage(c.width, c.height, c.depth, -1, 0, &head, &tail), nullptr)
            << c.width << "x" << c.height << "x" << c.depth;
    EXPECT_EQ(tagUsage("ic").allocations, before);
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
    // Texts stored by count keep the empty ones and everything after them:
    // reader_toolkit_test's block, and the PNG icon suite through the module.
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

// What each writer receives is carried through by the format suites, whose
// corpus round trips save in every format; here the writer's failure.
TEST_F(ModelTest, TheWritersFailureIsTheResultAndTheFileStaysAsWritten) {
    IconImage picture{};
    pictra::test::writerResult = 0;
    TagItem tags[] = {{SaveTagCompress, 1}, {SaveTagFormat, FormatIds[FormatWindows]}, {TagEnd, 0}};
    EXPECT_EQ(SaveIcon(path("failed.ico").c_str(), &picture, tags), 0);
    EXPECT_EQ(std::make_tuple(calls.writer, calls.images, calls.compress),
              std::make_tuple(std::string("windows"), &picture, 1));
    EXPECT_EQ(pictra::test::readFile(path("failed.ico")), (Bytes{'o', 'k'}));
}

}  // namespace
