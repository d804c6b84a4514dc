// The system codec set: libspng, OpenJPEG and libdeflate.
#pragma once

#include "host/image_codecs.h"

namespace pictra::host::system {
#include "host/codec_functions.inc"

// decodePng() through libspng alone, without the fast way: the reference
// the fast way is held against.
std::optional<Picture> decodePngReference(std::span<const uint8_t> bytes, std::string* error,
                                          const DecodeLimits& limits);
}  // namespace pictra::host::system
