// What the macOS icon suites share: the module saving "MACOS".
#pragma once

#include "icon_pictures.h"

namespace pictra::test {

class MacIconTest : public PictureModuleTest {
protected:
    void SetUp() override {
        PictureModuleTest::SetUp();
        format_ = formatId("MACOS");
        scratch_ = "in.icns";
    }
};

}  // namespace pictra::test
