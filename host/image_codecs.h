// The codec interface behind decodeImage(), encodePng() and the compression
// services. Two sets implement it: the system set over libspng, OpenJPEG
// and libdeflate, and the portable set over the stb headers and our own
// checksums, for targets where those libraries are missing. A build links
// one set into the host; tests may link both and hold them against each other.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/images.h"

namespace pictra::host {

struct CodecSet {
    const char* name;
    // Pixels as 0xAARRGGBB words; the caps are checked before pixel memory
    // is taken.
    std::optional<Picture> (*decodePng)(std::span<const uint8_t> bytes, std::string* error,
                                        const DecodeLimits& limits);
    // decodePng() over bytes it may rearrange while it works (their content
    // is unspecified afterwards), which spares it a copy of the image data.
    std::optional<Picture> (*decodePngInPlace)(std::span<uint8_t> bytes, std::string* error,
                                               const DecodeLimits& limits);
    // `codestream` is true for a raw J2K codestream, false for the JP2 box format.
    std::optional<Picture> (*decodeJpeg2000)(std::span<const uint8_t> bytes, bool codestream,
                                             std::string* error, const DecodeLimits& limits);
    // An 8-bit RGBA PNG of width * height pixels given as the bytes R, G, B, A
    // (dimensions already checked, at most 2^31 - 1 each and in memory);
    // the file ends with the plain 12-byte IEND chunk. Empty on failure.
    std::vector<uint8_t> (*encodeRgbaPng)(const uint8_t* rgba, uint32_t width, uint32_t height);
    // zlib's compress() and uncompress(), level 6 or near it, with zlib's
    // result codes (compression.h); arguments already checked.
    int32_t (*compress)(void* destination, uint32_t* length, const void* source,
                        uint32_t sourceLength);
    int32_t (*uncompress)(void* destination, uint32_t* length, const void* source,
                          uint32_t sourceLength);
    uint32_t (*crc32)(const void* buffer, uint32_t length);
};

const CodecSet& systemCodecs();    // defined where the system set is built
const CodecSet& portableCodecs();  // defined where the portable set is built
const CodecSet& hostCodecs();      // the set this build's host uses

// decodeImage() through the given set rather than the host's.
std::optional<Picture> decodeImageWith(const CodecSet& codecs, std::span<const uint8_t> bytes,
                                       std::string* error, const DecodeLimits& limits);

inline void setError(std::string* error, const char* text) {
    if (error) *error = text;
}

// Width * height words within the caps, or nothing (with the reason).
std::optional<std::size_t> checkedPixelCount(uint64_t width, uint64_t height,
                                             const DecodeLimits& limits, std::string* error);

// True when a decode that holds `bytes` at once stays within the caps;
// else false with the reason.
bool withinDecodeBudget(uint64_t bytes, const DecodeLimits& limits, std::string* error);

// Decoded R, G, B, A bytes to a picture of `count` = width * height words.
Picture pictureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height, std::size_t count);
// The same conversion where the decoder wrote the R, G, B, A bytes straight
// into the picture's words.
void argbFromRgbaInPlace(Picture& picture);

}  // namespace pictra::host
