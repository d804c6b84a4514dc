// What the macOS icon suites share: the module saving "MACOS".
#pragma once

#include "icon_pictures.h"

namespace pictra::test {

class MacIconTest : public PictureModuleTest {
protected:
    MacIconTest() : PictureModuleTest("MACOS", "in.icns") {}
};

}  // namespace pictra::test
