// Handing a loaded icon's attributes to the caller.
#pragma once

#include <cstdint>

#include "frame/tool_types.h"
#include "pictra/plugin.h"

// Builds the record's toolTypeArray: a null-terminated array of pointers to
// the first `count` texts of its tool types, empty ones included, NewIcons
// image lines ("IM1=", "IM2=") left out. Null when the array cannot be
// allocated.
char** BuildToolTypeArray(IconRecord* record, uint32_t count);

// What a reader does with the tool types it collected: the record takes the
// block and gets its array, so every stored text reaches the caller, empty
// ones too (the block alone ends at the first empty text). A block without
// texts leaves the record without tool types. 0 when the array cannot be
// allocated; the record owns the block either way.
int32_t StoreToolTypes(IconRecord* record, ToolTypeBlock* block);

// Copies the record's attributes into the caller's record. When the icon has
// tool types and its reader built no array, the array is built first, so that on failure (result 0) the
// caller's record is untouched and holds no pointer into the icon. An icon
// without tool types leaves the caller's toolTypes word as it was.
int32_t HandOverAttributes(IconRecord* record, IconAttributes* attributes);
