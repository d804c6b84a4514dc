// Handing a loaded icon's attributes to the caller.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Builds the record's toolTypeArray: a null-terminated array of pointers to
// its tool types, NewIcons image lines ("IM1=", "IM2=") left out. The record
// must have tool types. Null when the array cannot be allocated.
char** BuildToolTypeArray(IconRecord* record);

// Copies the record's attributes into the caller's record. When the icon has
// tool types, the array is built first, so that on failure (result 0) the
// caller's record is untouched and holds no pointer into the icon. An icon
// without tool types leaves the caller's toolTypes word as it was.
int32_t HandOverAttributes(IconRecord* record, IconAttributes* attributes);
