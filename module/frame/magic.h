// The words files begin with: LoadIcon picks a reader by the first four
// bytes of a file read as a big-endian word, and the writers begin their
// files with the same bytes.
#pragma once

#include <cstdint>

inline constexpr uint32_t MagicBytes = 4;
inline constexpr uint32_t MagicMacIcon = 0x69636E73;      // "icns"
inline constexpr uint32_t MagicPngIcon = 0x89504E47;      // 0x89 "PNG", the start of the PNG signature
inline constexpr uint32_t MagicAmigaIcon = 0xE3100001;    // magic 0xE310, version 1
inline constexpr uint32_t MagicWindowsIcon = 0x00000100;  // reserved 0, type 1 (icon)

// The whole signature of a PNG file.
inline constexpr uint32_t PngSignatureBytes = 8;
inline constexpr uint8_t PngSignature[PngSignatureBytes] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
