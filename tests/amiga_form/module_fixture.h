// The real pictra.vxm loaded through the host, with load and save helpers
// for the Amiga colour and PNG icon suites, and the byte helpers they share.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "loaded_module.h"

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

    std::vector<IconImage*> pictures() const { return picturesOf(icon.get()); }
    std::vector<std::string> toolTypes() const { return toolTypesOf(attributes); }
};

class ModuleFixture : public LoadedModuleTest {
protected:
    LoadedIcon load(const std::string& file) {
        LoadedIcon loaded;
        loaded.icon = loadIcon(file, &loaded.attributes);
        return loaded;
    }

    int32_t save(const std::string& file, IconImage* images, int format, const IconAttributes* attributes,
                 int32_t compress = 0) {
        return saveIcon(file, images, test::formatId(format), attributes, compress);
    }
};

}  // namespace pictra::test
