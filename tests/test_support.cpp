// Checks that every test of every suite gets, whatever its fixture: no
// decoded picture left unreleased and no free of a block that was not live.
#include <gtest/gtest.h>

#include "host/images.h"
#include "host/memory.h"

namespace {

class HostAudit : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        imagesAtStart_ = pictra::host::liveImageCount();
        pictra::host::forgetBadFrees();
    }
    // End events reach this listener before the result printer, so a
    // failure added here marks the test as failed.
    void OnTestEnd(const ::testing::TestInfo&) override {
        if (pictra::host::badFreeCount() != 0) {
            ADD_FAILURE() << "freed a block that was not live:\n" << pictra::host::leakReport();
            pictra::host::forgetBadFrees();
        }
        const std::size_t images = pictra::host::liveImageCount();
        if (images > imagesAtStart_)
            ADD_FAILURE() << images - imagesAtStart_ << " decoded picture(s) never released";
    }
    std::size_t imagesAtStart_ = 0;
};

const bool auditInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HostAudit);
    return true;
}();

}  // namespace
