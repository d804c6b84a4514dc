// Stand-ins for the format readers and writers, so that the load and save
// dispatch and the attribute hand-over can be tested through the real
// LoadIcon and SaveIcon, and the fixture of the tests that use them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "module_services.h"
#include "pictra/plugin.h"

extern "C" int32_t InitPlugin(PluginInfo* info, HostServices* host);

namespace pictra::test {

struct FormatCalls {
    std::string reader;        // which reader ran last, empty if none
    std::string fileName;      // the name it received (readers that take one)
    int32_t byteAfterMagic = -2;  // what the stream held next, -1 at the end
    std::string writer;
    int32_t compress = -1;
    IconImage* images = nullptr;
};

extern FormatCalls calls;
// What a fake reader does to the record and returns; default: nothing, 1.
extern std::function<int32_t(IconRecord*)> fillRecord;
// What a fake writer returns; it also writes the bytes "ok".
extern int32_t writerResult;

void resetFakeFormats();

// The module's sources compiled into the test binary: InitPlugin runs here
// with the host's real services, and the module's globals are visible.
class ModuleUnitTest : public ModuleServicesTest {
protected:
    void SetUp() override {
        ModuleServicesTest::SetUp();
        PluginInfo info{};
        InitPlugin(&info, Host);
        resetFakeFormats();
    }
};

}  // namespace pictra::test
