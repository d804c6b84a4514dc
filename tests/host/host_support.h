// The host tests' services, made once.
#pragma once

#include "host/services.h"
#include "test_support.h"

namespace pictra::host::test {

using namespace pictra::test;

inline const HostServices& services() {
    static const HostServices instance = makeHostServices();
    return instance;
}

}  // namespace pictra::host::test
