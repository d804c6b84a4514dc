#include "model/open_stream.h"

#include "frame/host.h"

namespace {
constexpr uint32_t FirstHostWithTaggedOpen = 6;
}  // namespace

StreamHandle OpenIconStream(const char* name, int32_t mode, uintptr_t openParameter) {
    if (Host->hostVersion >= FirstHostWithTaggedOpen && openParameter != 0) {
        const TagItem tags[] = {{OpenTagParameter, openParameter}, {TagEnd, 0}};
        return OpenStreamTagged(name, mode, tags);
    }
    return OpenStream(name, mode);
}
