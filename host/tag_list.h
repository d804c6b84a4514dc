// Reading a caller's tag list: {tag, value} pairs ended by tag 0, where a
// later pair overrides an earlier one.
#pragma once

#include <cstdint>
#include <optional>

#include "pictra/plugin.h"

namespace pictra::host {

// The value of the last pair with `tag`, or nothing when the list (which may
// be null) has none.
inline std::optional<uintptr_t> tagValue(const TagItem* tags, uint32_t tag) {
    std::optional<uintptr_t> value;
    for (int i = 0; tags && i < TagListMaxItems && tags[i].tag != TagEnd; ++i)
        if (tags[i].tag == tag) value = tags[i].value;
    return value;
}

}  // namespace pictra::host
