// For tests that compile module sources in: the module's host pointer set to
// the host's real services, as InitPlugin sets it.
#pragma once

#include "frame/host.h"
#include "host/services.h"
#include "test_support.h"

namespace pictra::test {

class ModuleServicesTest : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        static HostServices services = host::makeHostServices();
        Host = &services;
    }
};

}  // namespace pictra::test
