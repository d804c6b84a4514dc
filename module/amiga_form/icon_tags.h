// The "icOn" chunk of PNG icons: the Amiga icon attributes as a run of tag
// items, each a big-endian u32 tag followed either by a u32 value or by a
// string and its zero byte. Nothing aligns or pads the items.
#pragma once

#include <cstdint>

namespace icon_tags {

constexpr uint32_t ChunkType = 0x69634F6E;  // "icOn"

constexpr uint32_t CurrentX = 0x80001001;
constexpr uint32_t CurrentY = 0x80001002;
constexpr uint32_t DrawerLeft = 0x80001003;
constexpr uint32_t DrawerTop = 0x80001004;
constexpr uint32_t DrawerWidth = 0x80001005;
constexpr uint32_t DrawerHeight = 0x80001006;
constexpr uint32_t DrawerFlags = 0x80001007;
constexpr uint32_t StackSize = 0x80001009;
constexpr uint32_t DefaultTool = 0x8000100A;  // string
constexpr uint32_t ToolType = 0x8000100B;     // string, one per tool type
constexpr uint32_t Type = 0x8000100F;

// Drawer flags: bit 0 shows all files; bit 1 is view mode 1; otherwise the
// view mode is 2 plus the value shifted right by 2, up to view mode 5.
constexpr uint32_t FlagShowAll = 1;
constexpr uint32_t FlagViewMode1 = 2;
constexpr uint32_t ViewModeShift = 2;
constexpr int32_t ViewModeBase = 2;
constexpr int32_t LastViewMode = 5;

}  // namespace icon_tags
