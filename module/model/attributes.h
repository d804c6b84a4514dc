// Handing a loaded icon's attributes to the caller.
#pragma once

#include <cstdint>

#include "frame/tool_types.h"
#include "pictra/plugin.h"

// Amiga icon types: the record's `type`.
inline constexpr int32_t IconTypeDisk = 1;
inline constexpr int32_t IconTypeDrawer = 2;
inline constexpr int32_t IconTypeTool = 3;
inline constexpr int32_t IconTypeProject = 4;
inline constexpr int32_t IconTypeTrashcan = 5;

// Disks, drawers and trashcans open a window, whose place and view the icon
// keeps.
inline bool OpensWindow(int32_t type) {
    return type == IconTypeDisk || type == IconTypeDrawer || type == IconTypeTrashcan;
}

// NewIcons pictures travel as tool types: every line of the normal picture
// begins "IM1=", every line of the selected one "IM2=".
inline constexpr uint32_t NewIconsLinePrefix = 4;

// 1 for a text that begins "IM1=", 2 for "IM2=", else 0. Reads at most
// `length` bytes, in order, so a NUL ends the test before the byte after it
// is read: a C string may pass the prefix length.
inline uint32_t NewIconsLineImage(const char* text, uint32_t length) {
    if (length < NewIconsLinePrefix || text[0] != 'I' || text[1] != 'M' || (text[2] != '1' && text[2] != '2') ||
        text[3] != '=')
        return 0;
    return static_cast<uint32_t>(text[2] - '0');
}

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
