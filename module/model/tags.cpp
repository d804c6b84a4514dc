#include "model/tags.h"

uintptr_t GetTagValue(const TagItem* tags, uint32_t tag, uintptr_t fallback) {
    uintptr_t value = fallback;
    if (!tags) return value;
    for (const TagItem* item = tags; item->tag != TagEnd; ++item)
        if (item->tag == tag) value = item->value;
    return value;
}
