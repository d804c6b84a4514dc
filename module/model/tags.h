// Tag lists: {tag, value} pairs ended by tag 0.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// The value of the last pair carrying `tag` (a later pair overrides an
// earlier one), or `fallback` when there is none or `tags` is null. Items
// past TagListMaxItems are not read.
uintptr_t GetTagValue(const TagItem* tags, uint32_t tag, uintptr_t fallback);
