// Block compression with the conventions of zlib's compress() and
// uncompress() (zlib stream format, level 6), and the CRC-32 of PNG.
#pragma once

#include <cstdint>

namespace pictra::host {

// zlib's result codes, which the module compares against.
inline constexpr int32_t kZOk = 0;
inline constexpr int32_t kZStreamError = -2;
inline constexpr int32_t kZDataError = -3;
inline constexpr int32_t kZMemError = -4;
inline constexpr int32_t kZBufError = -5;

// *length is the room at `destination` on entry and the bytes produced on
// success; on failure it is left as it was.
int32_t compressBlock(void* destination, uint32_t* length, const void* source,
                      uint32_t sourceLength);
int32_t uncompressBlock(void* destination, uint32_t* length, const void* source,
                        uint32_t sourceLength);
uint32_t crc32Block(const void* buffer, uint32_t length);

}  // namespace pictra::host
