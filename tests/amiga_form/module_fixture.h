// The real pictra.vxm loaded through the host, with load and save helpers
// for the Amiga colour and PNG icon suites, and the byte helpers they share.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/registry.h"
#include "host/services.h"
#include "test_support.h"

namespace pictra::test {

inline uint32_t be32(const Bytes& data, std::size_t at) {
    return static_cast<uint32_t>(data[at]) << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
}

template <typename... Parts>
Bytes concat(const Parts&... parts) {
    Bytes all;
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

enum FormatIndex { AmigaOS = 0, NewIcon = 1, AmigaOS35 = 2, AmigaOS40 = 3, PngIcon = 4 };

inline uint32_t formatId(int index) {
    static const char* const descriptions[] = {"Amiga icon", "NewIcon", "AmigaOS 3.5 icon", "AmigaOS 4.0 icon",
                                               "PNG icon"};
    return bitwiseCrc32(std::string("pictra/") + descriptions[index]);
}

struct LoadedIcon {
    host::IconPtr icon;
    IconAttributes attributes{};

    std::vector<IconImage*> pictures() const {
        std::vector<IconImage*> all;
        for (IconImage* image = icon ? icon->images : nullptr; image; image = image->next) all.push_back(image);
        return all;
    }
    std::vector<std::string> toolTypes() const {
        std::vector<std::string> texts;
        for (char** text = attributes.toolTypes; text && *text; ++text) texts.emplace_back(*text);
        return texts;
    }
};

class ModuleFixture : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        std::string error;
        module_ = host::Module::open(PICTRA_TEST_MODULE, error);
        ASSERT_TRUE(module_) << error;
        services_ = host::makeHostServices();
        host::clearRegisteredFormats();
        ASSERT_EQ(module_->initialise(&services_), 1);
    }
    void TearDown() override {
        module_.reset();
        LeakCheckedTest::TearDown();
    }

    LoadedIcon load(const std::string& file) {
        LoadedIcon loaded;
        const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&loaded.attributes)}, {TagEnd, 0}};
        loaded.icon = host::IconPtr(module_->entry().loadIcon(file.c_str(), tags), {module_->entry().freeIcon});
        return loaded;
    }

    int32_t save(const std::string& file, IconImage* images, int format, const IconAttributes* attributes,
                 int32_t compress = 0) {
        const TagItem tags[] = {{SaveTagFormat, formatId(format)},
                                {SaveTagCompress, static_cast<uintptr_t>(compress)},
                                {SaveTagAttributes, reinterpret_cast<uintptr_t>(attributes)},
                                {TagEnd, 0}};
        return module_->entry().saveIcon(file.c_str(), images, tags);
    }

    std::unique_ptr<host::Module> module_;
    HostServices services_{};
};

}  // namespace pictra::test
