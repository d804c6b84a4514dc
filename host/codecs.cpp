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

constexpr uint32_t kStoredBlockMax = 65535;
constexpr uint64_t kStoredBlockHeader = 5;  // final flag and type, LEN, NLEN
constexpr uint64_t kZlibFraming = 6;        // header, Adler-32

// The input as a zlib stream of stored blocks. zlib's compress() always
// succeeds with the room its compressBound() gives; the codec sets need
// more for small incompressible input (libdeflate wants about 20 bytes
// over, stb's fixed codes expand noise), while stored blocks always fit in
// that room. kZBufError when they do not fit either.
int32_t storedStream(void* destination, uint32_t* length, const void* source, uint32_t sourceLength) {
    const uint64_t blocks = sourceLength == 0 ? 1 : (uint64_t{sourceLength} + kStoredBlockMax - 1) / kStoredBlockMax;
    if (uint64_t{sourceLength} + blocks * kStoredBlockHeader + kZlibFraming > *length) return kZBufError;
    auto* out = static_cast<uint8_t*>(destination);
    const auto* in = static_cast<const uint8_t*>(source);
    std::size_t at = 0;
    out[at++] = 0x78;  // deflate, 32K window
    out[at++] = 0x01;  // no preset dictionary, fastest; (0x78 << 8 | 0x01) % 31 == 0
    uint32_t a = 1, b = 0;
    uint32_t left = sourceLength;
    do {
        const uint32_t size = left < kStoredBlockMax ? left : kStoredBlockMax;
        left -= size;
        out[at++] = left == 0 ? 1 : 0;  // final flag, type 0 (stored)
        out[at++] = static_cast<uint8_t>(size);
        out[at++] = static_cast<uint8_t>(size >> 8);
        out[at++] = static_cast<uint8_t>(~size);
        out[at++] = static_cast<uint8_t>(~size >> 8);
        for (uint32_t i = 0; i < size; ++i) {
            out[at++] = in[i];
            a = (a + in[i]) % 65521;
            b = (b + a) % 65521;
        }
        in += size;
    } while (left > 0);
    const uint32_t adler = b << 16 | a;
    for (int shift = 24; shift >= 0; shift -= 8) out[at++] = static_cast<uint8_t>(adler >> shift);
    *length = static_cast<uint32_t>(at);
    return kZOk;
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
    const int32_t result = hostCodecs().compress(destination, length, source, sourceLength);
    return result == kZBufError ? storedStream(destination, length, source, sourceLength) : result;
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
