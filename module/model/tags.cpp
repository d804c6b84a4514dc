#include "model/tags.h"

uintptr_t GetTagValue(const TagItem* tags, uint32_t tag, uintptr_t fallback) {
    uintptr_t value = fallback;
    if (!tags) return value;
    for (int32_t i = 0; i < TagListMaxItems && tags[i].tag != TagEnd; ++i)
        if (tags[i].tag == tag) value = tags[i].value;
    return value;
}
