// The host's codec entry points: argument checks and byte order here, the
// work in the codec set this build links (see CodecSet).
#include <cstdint>

#include "host/compression.h"
#include "host/image_codecs.h"

namespace pictra::host {
namespace {

// PNG allows up to 2^31 - 1 in each dimension.
constexpr uint32_t kMaxPngDimension = 0x7FFFFFFF;

bool validArguments(void* destination, uint32_t* length, const void* source,
                    uint32_t sourceLength) {
    if (!length) return false;
    if (!destination && *length != 0) return false;
    if (!source && sourceLength != 0) return false;
    return true;
}

}  // namespace

const CodecSet& hostCodecs() {
#ifdef PICTRA_PORTABLE_CODECS
    return portableCodecs();
#else
    return systemCodecs();
#endif
}

std::vector<uint8_t> encodePng(const uint32_t* pixels, uint32_t width, uint32_t height) {
    if (!pixels || width == 0 || height == 0 || width > kMaxPngDimension ||
        height > kMaxPngDimension)
        return {};
    // Four bytes per pixel, checked by division before multiplying.
    if (width > SIZE_MAX / 4 / height) return {};
    const std::size_t count = std::size_t{width} * height;
    try {
        // Pixels are native words; the file wants the bytes R, G, B, A.
        std::vector<uint8_t> rgba(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            const uint32_t p = pixels[i];
            rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
            rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
            rgba[i * 4 + 2] = static_cast<uint8_t>(p);
            rgba[i * 4 + 3] = static_cast<uint8_t>(p >> 24);
        }
        return hostCodecs().encodeRgbaPng(rgba.data(), width, height);
    } catch (...) {
        return {};
    }
}

int32_t compressBlock(void* destination, uint32_t* length, const void* source,
                      uint32_t sourceLength) {
    if (!validArguments(destination, length, source, sourceLength)) return kZStreamError;
    return hostCodecs().compress(destination, length, source, sourceLength);
}

int32_t uncompressBlock(void* destination, uint32_t* length, const void* source,
                        uint32_t sourceLength) {
    if (!validArguments(destination, length, source, sourceLength)) return kZStreamError;
    return hostCodecs().uncompress(destination, length, source, sourceLength);
}

uint32_t crc32Block(const void* buffer, uint32_t length) {
    if (!buffer) return 0;
    return hostCodecs().crc32(buffer, length);
}

}  // namespace pictra::host
