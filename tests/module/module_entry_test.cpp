// The real pictra.vxm as a host sees it: info block, format registration,
// saver enumeration, and the load and save dispatch around the formats.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "host/module_loader.h"
#include "host/registry.h"
#include "host/services.h"
#include "test_support.h"

namespace {

using pictra::host::EntryPoints;
using pictra::host::Module;
using pictra::test::Bytes;
namespace fs = std::filesystem;

const char* const kNames[] = {"AMIGAOS", "NEWICON", "AMIGAOS35", "AMIGAOS40", "PNG", "WINDOWS", "MACOS"};
const char* const kDescriptions[] = {"Amiga icon", "NewIcon", "AmigaOS 3.5 icon", "AmigaOS 4.0 icon",
                                     "PNG icon", "Windows icon", "macOS icon"};
const char* const kExtensions[] = {"info", "info", "info", "info", "info", "ico", "icns"};

uint32_t expectedFormatId(int index) {
    return pictra::test::bitwiseCrc32(std::string("pictra/") + kDescriptions[index]);
}

class ModuleTest : public pictra::test::LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        start(pictra::host::kHostVersion);
        dir_ = pictra::test::scratchDir();
    }
    void TearDown() override {
        module_.reset();
        LeakCheckedTest::TearDown();
    }

    void start(uint32_t hostVersion) {
        module_.reset();
        std::string error;
        module_ = Module::open(PICTRA_TEST_MODULE, error);
        ASSERT_TRUE(module_) << error;
        services_ = pictra::host::makeHostServices(hostVersion);
        pictra::host::clearRegisteredFormats();
        ASSERT_EQ(module_->initialise(&services_), 1);
    }

    const EntryPoints& entry() const { return module_->entry(); }

    std::string file(const std::string& name, const Bytes& bytes) {
        fs::path path = dir_ / name;
        pictra::test::writeFile(path, bytes);
        return path.string();
    }

    IconRecord* load(const std::string& path, const TagItem* tags = nullptr) {
        return entry().loadIcon(path.c_str(), tags);
    }

    std::unique_ptr<Module> module_;
    HostServices services_{};
    fs::path dir_;
};

TEST_F(ModuleTest, InfoBlockIsFilledWhateverTheHostWroteThere) {
    PluginInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(entry().initPlugin(&info, &services_), 1);
    EXPECT_EQ(info.capabilities, 0x00300000u);
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.revision, 0u);
    EXPECT_EQ(info.hostVersion, 9u);
    EXPECT_EQ(info.hostRevision, 0u);
    EXPECT_STREQ(info.name, "Pictra");
    EXPECT_STREQ(info.moduleName, "pictra");
    EXPECT_STREQ(info.description, "The Cross-Platform Icon Loader and Saver");
    EXPECT_STREQ(info.date, "22.01.22");
    ASSERT_NE(info.author, nullptr);
    ASSERT_NE(info.rights, nullptr);
    ASSERT_NE(info.webAddress, nullptr);
    EXPECT_GT(std::strlen(info.author), 0u);
    EXPECT_GT(std::strlen(info.rights), 0u);
    EXPECT_GT(std::strlen(info.webAddress), 0u);
    EXPECT_EQ(info.reserved12, 0u);
    EXPECT_EQ(info.reserved13, 0u);
}

TEST_F(ModuleTest, RegistersTheSevenFormatsInOrderWithTheirCrcIdentifiers) {
    auto formats = pictra::host::registeredFormats();
    EXPECT_EQ(pictra::host::registrationCalls(), 7u);
    ASSERT_EQ(formats.size(), 7u);
    std::set<uint32_t> distinct;
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(formats[i].description, kDescriptions[i]);
        EXPECT_EQ(formats[i].extension, kExtensions[i]);
        EXPECT_EQ(formats[i].formatId, expectedFormatId(i));
        distinct.insert(formats[i].formatId);
    }
    EXPECT_EQ(distinct.size(), 7u);
}

TEST_F(ModuleTest, EnumeratesTheSevenSaversAndEndsOnUnknownIdentifiers) {
    auto savers = module_->savers();
    ASSERT_EQ(savers.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(savers[i].name, kNames[i]);
        EXPECT_EQ(savers[i].formatId, expectedFormatId(i));
    }

    // Each identifier leads to its successor; the last one ends the walk.
    for (int k = 0; k < 7; ++k) {
        SaverQuery query{7, expectedFormatId(k), nullptr};
        entry().registerIconSaver(&query);
        if (k < 6) {
            EXPECT_STREQ(query.name, kNames[k + 1]);
            EXPECT_EQ(query.formatId, expectedFormatId(k + 1));
            EXPECT_EQ(query.more, k + 1 < 6 ? 1u : 0u);
        } else {
            EXPECT_EQ(query.name, nullptr);
            EXPECT_EQ(query.more, 0u);
        }
    }

    SaverQuery unknown{1, 0x12345678u, "stale"};
    entry().registerIconSaver(&unknown);
    EXPECT_EQ(unknown.more, 0u);
    EXPECT_EQ(unknown.formatId, 0u);
    EXPECT_EQ(unknown.name, nullptr);
}

// A copy of the module file at another path is a separate instance, so its
// state is that of a module that never received services.
TEST_F(ModuleTest, NullHostFillsTheInfoBlockAndLeavesTheModuleUnstarted) {
    fs::path copy = dir_ / "fresh.vxm";
    fs::copy_file(PICTRA_TEST_MODULE, copy);
    std::string error;
    auto fresh = Module::open(copy.string(), error);
    ASSERT_TRUE(fresh) << error;
    pictra::host::clearRegisteredFormats();

    PluginInfo info;
    std::memset(&info, 0xCD, sizeof info);
    EXPECT_EQ(fresh->entry().initPlugin(&info, nullptr), 1);
    EXPECT_EQ(info.capabilities, 0x00300000u);
    EXPECT_EQ(info.hostVersion, 9u);
    EXPECT_STREQ(info.name, "Pictra");
    EXPECT_EQ(info.reserved13, 0u);
    EXPECT_EQ(pictra::host::registrationCalls(), 0u);

    SaverQuery query{1, 0, nullptr};
    fresh->entry().registerIconSaver(&query);
    EXPECT_EQ(query.more, 0u);
    EXPECT_EQ(query.name, nullptr);

    // Without services nothing can be opened, loaded or saved.
    std::string icon = file("a.ico", {0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(fresh->entry().loadIcon(icon.c_str(), nullptr), nullptr);
    TagItem tags[] = {{SaveTagFormat, expectedFormatId(5)}, {TagEnd, 0}};
    std::string target = (dir_ / "out.ico").string();
    EXPECT_EQ(fresh->entry().saveIcon(target.c_str(), nullptr, tags), 0);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ModuleTest, RecordHelpersTolerateNull) {
    EXPECT_EQ(entry().getIconImages(nullptr), nullptr);
    entry().freeIcon(nullptr);
}

// Each recognised word reaches its reader (all refuse for now) and every
// other word is refused; the stream is closed and the record released on
// every path.
TEST_F(ModuleTest, LoadRefusesWithTheStreamClosedAndNothingLeft) {
    const Bytes words[] = {
        {'i', 'c', 'n', 's', 0, 0, 0, 8},       {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},
        {0xE3, 0x10, 0x00, 0x01, 0, 0},         {0x00, 0x00, 0x01, 0x00, 1, 0},
        {0x00, 0x00, 0x02, 0x00, 1, 0},         {0xE3, 0x10, 0x00, 0x02, 0, 0},
        {0x00, 0x00},                           {},
    };
    int n = 0;
    for (const Bytes& bytes : words) {
        std::string path = file("icon" + std::to_string(n++) + ".info", bytes);
        IconAttributes attributes{};
        TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)}, {TagEnd, 0}};
        EXPECT_EQ(load(path, tags), nullptr) << path;
        EXPECT_EQ(pictra::host::streamCounters().liveStreams, 0u) << path;
        EXPECT_EQ(pictra::host::liveBlockCount(), 0u) << path;
    }
    EXPECT_EQ(pictra::host::streamCounters().plainOpens, std::size(words));
    EXPECT_EQ(load((dir_ / "missing.ico").string()), nullptr);
}

TEST_F(ModuleTest, TaggedOpenOnlyForNewHostsWithAParameter) {
    std::string path = file("a.ico", {0x00, 0x00, 0x01, 0x00});
    TagItem withParameter[] = {{LoadTagOpenParameter, 7}, {TagEnd, 0}};
    TagItem zeroParameter[] = {{LoadTagOpenParameter, 0}, {TagEnd, 0}};
    // An unknown tag is skipped and a later pair overrides an earlier one.
    TagItem overridden[] = {{LoadTagOpenParameter, 7}, {0x80001234u, 99}, {LoadTagOpenParameter, 42},
                            {TagEnd, 0}};

    start(5);
    pictra::host::resetStreamCounters();
    load(path, withParameter);
    load(path, zeroParameter);
    load(path);
    EXPECT_EQ(pictra::host::streamCounters().plainOpens, 3u);
    EXPECT_EQ(pictra::host::streamCounters().taggedOpens, 0u);

    start(6);
    pictra::host::resetStreamCounters();
    load(path, zeroParameter);
    EXPECT_EQ(pictra::host::streamCounters().plainOpens, 1u);
    EXPECT_EQ(pictra::host::streamCounters().taggedOpens, 0u);
    load(path, withParameter);
    EXPECT_EQ(pictra::host::streamCounters().taggedOpens, 1u);
    EXPECT_EQ(pictra::host::streamCounters().lastOpenParameter, 7u);
    load(path, overridden);
    EXPECT_EQ(pictra::host::streamCounters().taggedOpens, 2u);
    EXPECT_EQ(pictra::host::streamCounters().lastOpenParameter, 42u);
    EXPECT_EQ(pictra::host::streamCounters().plainOpens, 1u);
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
    std::string target = (dir_ / "out.info").string();
    EXPECT_EQ(entry().saveIcon(target.c_str(), nullptr, nullptr), 0);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(entry().saveIcon(target.c_str(), nullptr, refused[i].data()), 0) << i;
        EXPECT_FALSE(fs::exists(target)) << i;
    }
    EXPECT_EQ(pictra::host::streamCounters().plainOpens, 0u);
}

// Until the writers exist every save that passes the dispatch fails, but
// the file has been created and the stream is closed again.
TEST_F(ModuleTest, SaveThatReachesAWriterCreatesTheFileAndClosesIt) {
    IconAttributes attributes{};
    for (int index = 0; index < 7; ++index) {
        std::string target = (dir_ / ("out" + std::to_string(index) + ".bin")).string();
        TagItem tags[] = {{0x99, 1},
                          {SaveTagFormat, expectedFormatId(index)},
                          {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                          {TagEnd, 0}};
        EXPECT_EQ(entry().saveIcon(target.c_str(), nullptr, tags), 0) << kNames[index];
        EXPECT_TRUE(fs::exists(target)) << kNames[index];
        EXPECT_EQ(pictra::host::streamCounters().liveStreams, 0u);
    }
    // Windows and macOS files need no attributes.
    std::string target = (dir_ / "plain.icns").string();
    TagItem tags[] = {{SaveTagFormat, expectedFormatId(6)}, {TagEnd, 0}};
    entry().saveIcon(target.c_str(), nullptr, tags);
    EXPECT_TRUE(fs::exists(target));
}

}  // namespace
