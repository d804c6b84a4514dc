// PNG decoding through stb_image. The chunks are walked here first: the
// header's size meets the caps before stb allocates anything, every chunk's
// CRC is checked (stb checks none), and unknown critical chunks are refused
// as libspng refuses them.
#include <climits>
#include <cstdlib>
#include <memory>

#include "host/portable/codecs.h"
#include "host/portable/stb.h"

namespace pictra::host::portable {
namespace {

constexpr std::size_t kSignatureLength = 8;
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

constexpr uint32_t chunkType(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

uint32_t readBig32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// Walks the chunks from IHDR to IEND, checking the header's size against the
// caps as soon as it is read; on success sets that size.
bool checkChunks(std::span<const uint8_t> bytes, const DecodeLimits& limits, uint32_t* width,
                 uint32_t* height, std::string* error) {
    std::size_t position = kSignatureLength;
    for (bool first = true;; first = false) {
        if (bytes.size() - position < kChunkOverhead) {
            setError(error, "truncated PNG data");
            return false;
        }
        const uint8_t* chunk = bytes.data() + position;
        const uint32_t length = readBig32(chunk);
        const uint32_t type = readBig32(chunk + 4);
        if (length > kMaxChunkLength || length > bytes.size() - position - kChunkOverhead) {
            setError(error, "truncated PNG data");
            return false;
        }
        if (crc32(chunk + 4, length + 4) != readBig32(chunk + 8 + length)) {
            setError(error, "corrupt PNG data (chunk CRC)");
            return false;
        }
        if (first != (type == chunkType("IHDR")) || (first && length != 13)) {
            setError(error, "bad PNG header");
            return false;
        }
        if (first) {
            *width = readBig32(chunk + 8);
            *height = readBig32(chunk + 12);
            if (!checkedPixelCount(*width, *height, limits, error)) return false;
        }
        // Bit 5 of the first letter clear: a chunk the decoder must know.
        const bool critical = (type & 0x20000000u) == 0;
        if (critical && type != chunkType("IHDR") && type != chunkType("PLTE") &&
            type != chunkType("IDAT") && type != chunkType("IEND")) {
            setError(error, "unknown critical PNG chunk");
            return false;
        }
        position += kChunkOverhead + length;
        if (type == chunkType("IEND")) return true;
    }
}

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits) {
    if (bytes.size() < kSignatureLength || bytes.size() > INT_MAX) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    uint32_t width = 0, height = 0;
    if (!checkChunks(bytes, limits, &width, &height, error)) return std::nullopt;
    const auto count = checkedPixelCount(width, height, limits, error);
    if (!count) return std::nullopt;
    int decodedWidth = 0, decodedHeight = 0, channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgba(stbi_load_from_memory(
        bytes.data(), static_cast<int>(bytes.size()), &decodedWidth, &decodedHeight, &channels, 4));
    if (!rgba) {
        setError(error, "corrupt PNG data");
        return std::nullopt;
    }
    if (static_cast<uint32_t>(decodedWidth) != width ||
        static_cast<uint32_t>(decodedHeight) != height) {
        setError(error, "bad PNG header");
        return std::nullopt;
    }
    return pictureFromRgba(rgba.get(), width, height, *count);
}

}  // namespace pictra::host::portable
