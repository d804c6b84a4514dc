// The real pictra.vxm as a host sees it: info block, format registration,
// saver enumeration, and the load and save dispatch around the formats.
// The one place the saver names, descriptions and identifiers are checked.
#include <cstring>
#include <set>
#include <tuple>

#include "loaded_module.h"

namespace {

namespace fs = std::filesystem;
namespace host = pictra::host;

const char* const kNames[] = {"AMIGAOS", "NEWICON", "AMIGAOS35", "AMIGAOS40", "PNG", "WINDOWS", "MACOS"};
const char* const kDescriptions[] = {"Amiga icon", "NewIcon", "AmigaOS 3.5 icon", "AmigaOS 4.0 icon",
                                     "PNG icon", "Windows icon", "macOS icon"};
const char* const kExtensions[] = {"info", "info", "info", "info", "info", "ico", "icns"};

uint32_t expectedFormatId(int index) {
    return pictra::test::bitwiseCrc32(std::string("pictra/") + kDescriptions[index]);
}

class ModuleTest : public pictra::test::LoadedModuleTest {
protected:
    const host::EntryPoints& entry() const { return module_->entry(); }
};

// A copy of the module file at another path is a separate instance, so its
// state is that of a module that never received services.
TEST_F(ModuleTest, InfoBlockIsFilledWhateverWasThereAndANullHostLeavesTheModuleUnstarted) {
    fs::copy_file(PICTRA_TEST_MODULE, path("fresh.vxm"));
    std::string error;
    auto fresh = host::Module::open(path("fresh.vxm"), error);
    ASSERT_TRUE(fresh) << error;
    host::clearRegisteredFormats();
    PluginInfo info;
    std::memset(&info, 0xCD, sizeof info);
    EXPECT_EQ(fresh->entry().initPlugin(&info, nullptr), 1);
    EXPECT_EQ(std::make_tuple(info.capabilities, info.version, info.revision, info.hostVersion, info.hostRevision,
                              info.reserved12, info.reserved13),
              std::make_tuple(0x00300000u, 1u, 0u, 9u, 0u, 0u, 0u));
    EXPECT_STREQ(info.name, "Pictra");
    EXPECT_STREQ(info.moduleName, "pictra");
    EXPECT_STREQ(info.description, "The Cross-Platform Icon Loader and Saver");
    EXPECT_STREQ(info.date, "22.01.22");
    for (const char* text : {info.author, info.rights, info.webAddress}) EXPECT_TRUE(text && *text);
    EXPECT_EQ(host::registrationCalls(), 0u);
    // The first saver is always the first format; without identifiers its
    // own is 0 and none follows.
    SaverQuery query{1, 0, nullptr};
    fresh->entry().registerIconSaver(&query);
    EXPECT_EQ(std::make_tuple(query.more, std::string(query.name), query.formatId),
              std::make_tuple(0u, std::string("AMIGAOS"), 0u));
    // Without services nothing can be opened, loaded or saved.
    EXPECT_EQ(fresh->entry().loadIcon(scratchFile("a.ico", {0x00, 0x00, 0x01, 0x00}).c_str(), nullptr), nullptr);
    TagItem tags[] = {{SaveTagFormat, expectedFormatId(5)}, {TagEnd, 0}};
    EXPECT_EQ(fresh->entry().saveIcon(path("out.ico").c_str(), nullptr, tags), 0);
    EXPECT_FALSE(fs::exists(path("out.ico")));
}

TEST_F(ModuleTest, RegistersAndEnumeratesTheSevenFormatsInOrder) {
    const auto formats = host::registeredFormats();
    EXPECT_EQ(host::registrationCalls(), 7u);
    ASSERT_EQ(formats.size(), 7u);
    ASSERT_EQ(savers_.size(), 7u);
    std::set<uint32_t> distinct;
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(kNames[i]);
        // Every argument of the registration as the registry kept it.
        EXPECT_EQ(std::make_tuple(formats[i].description, formats[i].extension, formats[i].formatId,
                                  formats[i].info, formats[i].kind, formats[i].reserved, formats[i].flags),
                  std::make_tuple(std::string(kDescriptions[i]), std::string(kExtensions[i]),
                                  expectedFormatId(i), &module_->info(), 4u, nullptr, 3u));
        EXPECT_EQ(savers_[i].name, kNames[i]);
        EXPECT_EQ(savers_[i].formatId, expectedFormatId(i));
        distinct.insert(formats[i].formatId);
    }
    EXPECT_EQ(distinct.size(), 7u);

    // Each identifier leads to its successor; the last one, and an unknown
    // one, end the walk.
    for (int k = 0; k < 8; ++k) {
        SaverQuery query{7, k < 7 ? expectedFormatId(k) : 0x12345678u, "stale"};
        entry().registerIconSaver(&query);
        const bool last = k >= 6;
        EXPECT_EQ(query.name ? query.name : "(null)", std::string(last ? "(null)" : kNames[k + 1])) << k;
        EXPECT_EQ(query.formatId, last ? 0u : expectedFormatId(k + 1)) << k;
        EXPECT_EQ(query.more, k < 5 ? 1u : 0u) << k;
    }
}

TEST_F(ModuleTest, TaggedOpenOnlyForNewHostsWithAParameter) {
    const std::string name = scratchFile("a.ico", {0x00, 0x00, 0x01, 0x00});
    TagItem withParameter[] = {{LoadTagOpenParameter, 7}, {TagEnd, 0}};
    TagItem zeroParameter[] = {{LoadTagOpenParameter, 0}, {TagEnd, 0}};
    // An unknown tag is skipped and a later pair overrides an earlier one.
    TagItem overridden[] = {{LoadTagOpenParameter, 7}, {0x80001234u, 99}, {LoadTagOpenParameter, 42}, {TagEnd, 0}};
    auto opens = [&](const TagItem* tags) {
        entry().loadIcon(name.c_str(), tags);
        const auto c = host::streamCounters();
        return std::make_tuple(c.plainOpens, c.taggedOpens, c.lastOpenParameter);
    };
    start(5);
    opens(withParameter);
    opens(zeroParameter);
    EXPECT_EQ(opens(nullptr), std::make_tuple(3u, 0u, 0u));
    start(6);
    EXPECT_EQ(opens(zeroParameter), std::make_tuple(1u, 0u, 0u));
    EXPECT_EQ(opens(withParameter), std::make_tuple(1u, 1u, 7u));
    EXPECT_EQ(opens(overridden), std::make_tuple(1u, 2u, 42u));
}

TEST_F(ModuleTest, SaveRefusalsCreateNoFile) {
    IconAttributes attributes{};
    auto attrs = reinterpret_cast<uintptr_t>(&attributes);
    const std::vector<std::vector<TagItem>> refused = {
        {{TagEnd, 0}},
        {{SaveTagCompress, 1}, {TagEnd, 0}},                              // no format
        {{SaveTagFormat, 0}, {SaveTagAttributes, attrs}, {TagEnd, 0}},    // format 0
        {{SaveTagFormat, 0x12345678u}, {SaveTagAttributes, attrs}, {TagEnd, 0}},
        {{SaveTagFormat, expectedFormatId(5)}, {SaveTagFormat, 0xDEADBEEFu}, {TagEnd, 0}},
        // The Amiga and PNG formats store attributes and need them.
        {{SaveTagFormat, expectedFormatId(0)}, {TagEnd, 0}},
        {{SaveTagFormat, expectedFormatId(3)}, {SaveTagCompress, 1}, {TagEnd, 0}},
        {{SaveTagFormat, expectedFormatId(4)}, {TagEnd, 0}},
    };
    const std::string target = path("out.info");
    EXPECT_EQ(entry().saveIcon(target.c_str(), nullptr, nullptr), 0);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(entry().saveIcon(target.c_str(), nullptr, refused[i].data()), 0) << i;
        EXPECT_FALSE(fs::exists(target)) << i;
    }
    EXPECT_EQ(host::streamCounters().plainOpens, 0u);
}

}  // namespace
