// The real pictra.vxm loaded and initialised as a host does it, for every
// suite that drives the module through its entry points, with the load and
// save calls they all make.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/registry.h"
#include "host/services.h"
#include "test_support.h"

namespace pictra::test {

class LoadedModuleTest : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        start(host::kHostVersion);
    }
    // Loads and initialises the module afresh, with services of `hostVersion`;
    // the stream counters start again.
    void start(uint32_t hostVersion) {
        module_.reset();
        std::string error;
        module_ = host::Module::open(PICTRA_TEST_MODULE, error);
        ASSERT_TRUE(module_) << error;
        services_ = host::makeHostServices(hostVersion);
        host::clearRegisteredFormats();
        ASSERT_EQ(module_->initialise(&services_), 1);
        savers_ = module_->savers();
        host::resetStreamCounters();
    }
    void TearDown() override {
        module_.reset();
        LeakCheckedTest::TearDown();
    }

    // The identifier the module registered for the saver called `name`.
    uint32_t formatId(const std::string& name) const {
        for (const host::Saver& saver : savers_)
            if (saver.name == name) return saver.formatId;
        ADD_FAILURE() << "no saver " << name;
        return 0;
    }

    host::IconPtr loadIcon(const std::string& file, IconAttributes* attributes = nullptr) const {
        const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(attributes)}, {TagEnd, 0}};
        return host::IconPtr(module_->entry().loadIcon(file.c_str(), tags), {module_->entry().freeIcon});
    }

    int32_t saveIcon(const std::string& file, IconImage* images, uint32_t format,
                     const IconAttributes* attributes = nullptr, int32_t compress = 0) const {
        const TagItem tags[] = {{SaveTagFormat, format},
                                {SaveTagCompress, static_cast<uintptr_t>(compress)},
                                {SaveTagAttributes, reinterpret_cast<uintptr_t>(attributes)},
                                {TagEnd, 0}};
        return module_->entry().saveIcon(file.c_str(), images, tags);
    }

    std::unique_ptr<host::Module> module_;
    HostServices services_{};
    std::vector<host::Saver> savers_;
};

// The pictures of a loaded icon, in list order.
inline std::vector<IconImage*> picturesOf(const IconRecord* icon) {
    std::vector<IconImage*> pictures;
    for (IconImage* image = icon ? icon->images : nullptr; image; image = image->next) pictures.push_back(image);
    return pictures;
}

inline std::vector<std::string> toolTypesOf(const IconAttributes& attributes) {
    std::vector<std::string> texts;
    for (char** text = attributes.toolTypes; text && *text; ++text) texts.emplace_back(*text);
    return texts;
}

}  // namespace pictra::test
