// Internal codec entry points behind decodeImage().
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "host/images.h"

namespace pictra::host {

// Width * height words within the caps, or nothing (with the reason).
std::optional<std::size_t> checkedPixelCount(uint64_t width, uint64_t height,
                                             const DecodeLimits& limits, std::string* error);

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits);
// `codestream` is true for a raw J2K codestream, false for the JP2 box format.
std::optional<Picture> decodeJpeg2000(std::span<const uint8_t> bytes, bool codestream,
                                      std::string* error, const DecodeLimits& limits);

inline void setError(std::string* error, const char* text) {
    if (error) *error = text;
}

}  // namespace pictra::host
