// The real pictra.vxm as a host sees it: info block, format registration,
// saver enumeration, and the load and save dispatch around the formats.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "host/module_loader.h"
#include "host/registry.h"
#include "host/services.h"
#include "test_support.h"

namespace {

using pictra::host::Module;
using pictra::test::Bytes;
namespace fs = std::filesystem;
namespace host = pictra::host;

const char* const kNames[] = {"AMIGAOS", "NEWICON", "AMIGAOS35", "AMIGAOS40", "PNG", "WINDOWS", "MACOS"};
const char* const kDescriptions[] = {"Amiga icon", "NewIcon", "AmigaOS 3.5 icon", "AmigaOS 4.0 icon",
                                     "PNG icon", "Windows icon", "macOS icon"};
const char* const kExtensions[] = {"info", "info", "info", "info", "info", "ico", "icns"};

uint32_t expectedFormatId(int index) {
    return pictra::test::bitwiseCrc32(std::string("pictra/") + kDescriptions[index]);
}

void expectInfoBlock(const PluginInfo& info) {
    EXPECT_EQ(info.capabilities, 0x00300000u);
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.revision, 0u);
    EXPECT_EQ(info.hostVersion, 9u);
    EXPECT_EQ(info.hostRevision, 0u);
    EXPECT_STREQ(info.name, "Pictra");
    EXPECT_STREQ(info.moduleName, "pictra");
    EXPECT_STREQ(info.description, "The Cross-Platform Icon Loader and Saver");
    EXPECT_STREQ(info.date, "22.01.22");
    for (const char* text : {info.author, info.rights, info.webAddress}) {
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
    }
    EXPECT_EQ(info.reserved12, 0u);
    EXPECT_EQ(info.reserved13, 0u);
}

class ModuleTest : public pictra::test::LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        start(host::kHostVersion);
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
        services_ = host::makeHostServices(hostVersion);
        host::clearRegisteredFormats();
        ASSERT_EQ(module_->initialise(&services_), 1);
    }

    const pictra::host::EntryPoints& entry() const { return module_->entry(); }

    std::string file(const std::string& name, const Bytes& bytes) {
        pictra::test::writeFile(path(name), bytes);
        return path(name);
    }

    std::unique_ptr<Module> module_;
    HostServices services_{};
};

TEST_F(ModuleTest, InfoBlockIsFilledWhateverTheHostWroteThere) {
    PluginInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(entry().initPlugin(&info, &services_), 1);
    expectInfoBlock(info);
}

// A copy of the module file at another path is a separate instance, so its
// state is that of a module that never received services.
TEST_F(ModuleTest, NullHostFillsTheInfoBlockAndLeavesTheModuleUnstarted) {
    fs::copy_file(PICTRA_TEST_MODULE, path("fresh.vxm"));
    std::string error;
    auto fresh = Module::open(path("fresh.vxm"), error);
    ASSERT_TRUE(fresh) << error;
    host::clearRegisteredFormats();

    PluginInfo info;
    std::memset(&info, 0xCD, sizeof info);
    EXPECT_EQ(fresh->entry().initPlugin(&info, nullptr), 1);
    expectInfoBlock(info);
    EXPECT_EQ(host::registrationCalls(), 0u);

    // The first saver is always the first format; without identifiers its
    // own is 0 and none follows.
    SaverQuery query{1, 0, nullptr};
    fresh->entry().registerIconSaver(&query);
    EXPECT_EQ(query.more, 0u);
    EXPECT_STREQ(query.name, "AMIGAOS");
    EXPECT_EQ(query.formatId, 0u);

    // Without services nothing can be opened, loaded or saved.
    EXPECT_EQ(fresh->entry().loadIcon(file("a.ico", {0x00, 0x00, 0x01, 0x00}).c_str(), nullptr), nullptr);
    TagItem tags[] = {{SaveTagFormat, expectedFormatId(5)}, {TagEnd, 0}};
    EXPECT_EQ(fresh->entry().saveIcon(path("out.ico").c_str(), nullptr, tags), 0);
    EXPECT_FALSE(fs::exists(path("out.ico")));
}

TEST_F(ModuleTest, RegistersAndEnumeratesTheSevenFormatsInOrder) {
    const auto formats = host::registeredFormats();
    const auto savers = module_->savers();
    EXPECT_EQ(host::registrationCalls(), 7u);
    ASSERT_EQ(formats.size(), 7u);
    ASSERT_EQ(savers.size(), 7u);
    std::set<uint32_t> distinct;
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(formats[i].description, kDescriptions[i]);
        EXPECT_EQ(formats[i].extension, kExtensions[i]);
        EXPECT_EQ(formats[i].formatId, expectedFormatId(i));
        EXPECT_EQ(formats[i].info, &module_->info());
        EXPECT_EQ(formats[i].kind, 4u);
        EXPECT_EQ(formats[i].reserved, nullptr);
        EXPECT_EQ(formats[i].flags, 3u);
        EXPECT_EQ(savers[i].name, kNames[i]);
        EXPECT_EQ(savers[i].formatId, expectedFormatId(i));
        distinct.insert(formats[i].formatId);
    }
    EXPECT_EQ(distinct.size(), 7u);

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

TEST_F(ModuleTest, TaggedOpenOnlyForNewHostsWithAParameter) {
    const std::string name = file("a.ico", {0x00, 0x00, 0x01, 0x00});
    TagItem withParameter[] = {{LoadTagOpenParameter, 7}, {TagEnd, 0}};
    TagItem zeroParameter[] = {{LoadTagOpenParameter, 0}, {TagEnd, 0}};
    // An unknown tag is skipped and a later pair overrides an earlier one.
    TagItem overridden[] = {{LoadTagOpenParameter, 7}, {0x80001234u, 99}, {LoadTagOpenParameter, 42},
                            {TagEnd, 0}};
    auto load = [&](const TagItem* tags) { entry().loadIcon(name.c_str(), tags); };

    start(5);
    host::resetStreamCounters();
    load(withParameter);
    load(zeroParameter);
    load(nullptr);
    EXPECT_EQ(host::streamCounters().plainOpens, 3u);
    EXPECT_EQ(host::streamCounters().taggedOpens, 0u);

    start(6);
    host::resetStreamCounters();
    load(zeroParameter);
    EXPECT_EQ(host::streamCounters().plainOpens, 1u);
    EXPECT_EQ(host::streamCounters().taggedOpens, 0u);
    load(withParameter);
    EXPECT_EQ(host::streamCounters().taggedOpens, 1u);
    EXPECT_EQ(host::streamCounters().lastOpenParameter, 7u);
    load(overridden);
    EXPECT_EQ(host::streamCounters().taggedOpens, 2u);
    EXPECT_EQ(host::streamCounters().lastOpenParameter, 42u);
    EXPECT_EQ(host::streamCounters().plainOpens, 1u);
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
