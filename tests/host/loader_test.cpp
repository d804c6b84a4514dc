// The module loader against stand-in modules.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "host/module_loader.h"
#include "host_support.h"

namespace pictra::host {
namespace {

TEST(LoaderTest, MissingFileAndMissingEntryPointsAreErrors) {
    std::string error;
    EXPECT_EQ(Module::open("/nonexistent/pictra.vxm", error), nullptr);
    EXPECT_NE(error.find("/nonexistent/pictra.vxm"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(Module::open(HOST_PARTIAL_MODULE, error), nullptr);
    EXPECT_NE(error.find("RegisterIconSaver"), std::string::npos) << error;
}

TEST(LoaderTest, InitialisesEnumeratesBoundedAndClosesOnce) {
    std::string error;
    std::unique_ptr<Module> module = Module::open(HOST_FAKE_MODULE, error);
    ASSERT_NE(module, nullptr) << error;
    // Keep the library loaded after the module closes, to read its counters.
    void* peek = dlopen(HOST_FAKE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(peek, nullptr);
    auto* closeCalls = static_cast<int*>(dlsym(peek, "fakeClosePluginCalls"));
    auto* queries = static_cast<int*>(dlsym(peek, "fakeSaverQueries"));
    ASSERT_NE(closeCalls, nullptr);
    ASSERT_NE(queries, nullptr);

    HostServices services = test::services();
    EXPECT_EQ(module->initialise(&services), 1);
    EXPECT_EQ(module->info().version, 7u);
    // The fake module always says "more": the enumeration stops by itself.
    const std::vector<Saver> savers = module->savers();
    EXPECT_EQ(savers.size(), 64u);
    EXPECT_EQ(*queries, 64);
    ASSERT_FALSE(savers.empty());
    EXPECT_EQ(savers[0].name, "FAKE");
    EXPECT_EQ(savers[0].formatId, 1u);
    EXPECT_EQ(savers[1].formatId, 2u);  // each query starts from the last identifier
    module.reset();
    EXPECT_EQ(*closeCalls, 1);
    dlclose(peek);
}

// Workers each load their own instance: state one keeps (the services it was
// started with) must not be the state of another, however many come and go.
TEST(LoaderTest, OwnInstancesNeverShareTheLoadedFile) {
    std::string error;
    std::unique_ptr<Module> first = Module::openOwnInstance(HOST_FAKE_MODULE, error);
    ASSERT_NE(first, nullptr) << error;
    std::unique_ptr<Module> second = Module::openOwnInstance(HOST_FAKE_MODULE, error);
    ASSERT_NE(second, nullptr) << error;
    EXPECT_NE(first->entry().loadIcon, second->entry().loadIcon);
    second.reset();
    std::unique_ptr<Module> third = Module::openOwnInstance(HOST_FAKE_MODULE, error);
    ASSERT_NE(third, nullptr) << error;
    EXPECT_NE(first->entry().loadIcon, third->entry().loadIcon);
}

}  // namespace
}  // namespace pictra::host
