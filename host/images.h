// Image decoding and PNG encoding for the host. Pixels are native 32-bit
// words 0xAARRGGBB, rows from the top without gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pictra::host {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;  // width * height words 0xAARRGGBB
};

// Caps that every decode honours before it allocates pixels.
struct DecodeLimits {
    uint32_t maxDimension = 16384;
    uint64_t maxPixelBytes = uint64_t{256} << 20;
};

// Recognises PNG and JPEG 2000 (JP2 box or raw codestream) by content.
// On failure returns nothing and, if `error` is given, says why.
std::optional<Picture> decodeImage(std::span<const uint8_t> bytes, std::string* error = nullptr,
                                   const DecodeLimits& limits = {});

// An RGBA PNG of the picture; the file ends with the plain 12-byte IEND
// chunk. Empty on failure.
std::vector<uint8_t> encodePng(const uint32_t* pixels, uint32_t width, uint32_t height);

}  // namespace pictra::host
