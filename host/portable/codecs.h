// The portable codec set: stb_image for PNG decoding, stb_image_write for PNG
// encoding and zlib streams, our own CRC-32 and Adler-32, no JPEG 2000.
#pragma once

#include "host/image_codecs.h"

namespace pictra::host::portable {
#include "host/codec_functions.inc"

// The Adler-32 of a zlib stream's trailer.
uint32_t adler32(const uint8_t* bytes, std::size_t length);
}  // namespace pictra::host::portable
