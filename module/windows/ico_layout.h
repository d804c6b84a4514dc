// The fixed sizes and values of a Windows icon file. Every integer in the
// file is little-endian.
#pragma once

#include <cstdint>

// File header: reserved u16 0, resource type u16 1, entry count u16.
constexpr uint32_t IcoHeaderSize = 6;
constexpr uint32_t IcoResourceIcon = 1;
constexpr uint32_t IcoMaxEntries = 0xFFFF;

// Directory entry: width u8, height u8, colour count u8, reserved u8,
// planes u16, bit count u16, data size u32, data offset u32.
constexpr uint32_t IcoDirEntrySize = 16;
constexpr uint32_t IcoDirDataSizeOffset = 8;

// A picture side of 256 is stored as 0 in the directory's bytes.
constexpr int32_t IcoMaxSide = 256;

// Bitmap header: header size u32, width i32, height i32 (colour rows plus
// mask rows; negative for rows stored top row first), planes u16, bit count
// u16, compression u32, image size u32, two resolutions u32, colours used
// u32, colours important u32. A palette of 4-byte entries (blue, green, red,
// 0) follows it for bit counts up to 8.
constexpr uint32_t BitmapHeaderSize = 40;
constexpr uint32_t BitmapWidthOffset = 4;
constexpr uint32_t BitmapHeightOffset = 8;
constexpr uint32_t BitmapBitCountOffset = 14;
constexpr uint32_t BitmapColoursUsedOffset = 32;
constexpr uint32_t PaletteEntrySize = 4;
constexpr uint32_t MaxPaletteEntries = 256;

// The type of the chunk that must follow the PNG signature, at byte 12.
constexpr uint8_t PngHeaderChunkType[4] = {'I', 'H', 'D', 'R'};
constexpr uint32_t PngHeaderChunkTypeOffset = 12;
