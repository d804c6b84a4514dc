// The byte layout shared by the FORM ICON reader and writer. All integers
// are big-endian.
#pragma once

#include <cstdint>

namespace form {

constexpr uint32_t IdFace = 0x46414345;  // "FACE"
constexpr uint32_t IdImag = 0x494D4147;  // "IMAG"
constexpr uint32_t IdArgb = 0x41524742;  // "ARGB"
constexpr uint32_t IdForm = 0x464F524D;  // "FORM"
constexpr uint32_t IdIcon = 0x49434F4E;  // "ICON"

constexpr uint32_t ChunkHeaderBytes = 8;  // identifier, u32 data size
constexpr uint32_t FormHeaderBytes = 12;  // "FORM", u32 size, "ICON"

// FACE: u8 width - 1, u8 height - 1, u8 flags, u8 aspect, u16 palette bytes - 1.
constexpr uint32_t FaceBytes = 6;
constexpr uint8_t FaceFlagsPalette = 0;
constexpr uint8_t FaceFlagsTrueColour = 2;
constexpr uint32_t MaxSide = 256;  // a side is stored as a byte, minus one

// IMAG header: u8 transparent pen, u8 colours - 1, u8 flags, u8 image
// format, u8 palette format, u8 depth, u16 image bytes - 1, u16 palette
// bytes - 1; then the image data and the palette data.
constexpr uint32_t ImagHeaderBytes = 10;
constexpr uint8_t ImagHasTransparentPen = 1;
constexpr uint8_t ImagHasPalette = 2;
constexpr uint8_t FormatRaw = 0;
constexpr uint8_t FormatPacked = 1;
constexpr uint32_t PaletteDepth = 8;  // palette bytes are packed as 8-bit values
constexpr uint32_t MaxPaletteBytes = 256 * 3;

// ARGB header: u32 1, u32 compressed bytes - 1, u16 0; then the zlib stream
// of the pixels as bytes A, R, G, B.
constexpr uint32_t ArgbHeaderBytes = 10;
constexpr uint32_t ArgbBytesPerPixel = 4;

}  // namespace form
