// The table of formats that modules registered.
#include "host/registry.h"

#include <mutex>

namespace pictra::host {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<RegisteredFormat> formats;
    std::size_t calls = 0;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

int32_t registerFormat(PluginInfo* info, uint32_t kind, const char* description,
                       const void* reserved, const char* extension, uint32_t formatId,
                       uint32_t flags) {
    try {
        RegisteredFormat entry{description ? description : "", extension ? extension : "",
                               formatId, info, kind, reserved, flags};
        Registry& r = registry();
        std::lock_guard guard(r.lock);
        ++r.calls;
        for (RegisteredFormat& existing : r.formats) {
            if (existing.formatId == formatId) {
                existing = std::move(entry);
                return 1;
            }
        }
        r.formats.push_back(std::move(entry));
        return 1;
    } catch (...) {
        return 0;
    }
}

std::vector<RegisteredFormat> registeredFormats() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return r.formats;
}

std::size_t registrationCalls() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return r.calls;
}

void clearRegisteredFormats() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.formats.clear();
    r.calls = 0;
}

}  // namespace pictra::host
