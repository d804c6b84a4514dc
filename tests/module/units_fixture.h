// The module's sources compiled into the test binary: InitPlugin runs here
// with the host's real services, and the module's globals are visible.
#pragma once

#include "fake_formats.h"
#include "host/services.h"
#include "test_support.h"

extern "C" int32_t InitPlugin(PluginInfo* info, HostServices* host);

namespace pictra::test {

class ModuleUnitTest : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        static HostServices services = host::makeHostServices();
        PluginInfo info{};
        InitPlugin(&info, &services);
        resetFakeFormats();
        dir_ = scratchDir();
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

}  // namespace pictra::test
