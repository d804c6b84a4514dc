// PNG decoding through libspng.
#include <spng.h>

#include <memory>

#include "host/system/codecs.h"

namespace pictra::host::system {
namespace {

// Ancillary chunks (text, ICC profiles) are capped so a file cannot make the
// decoder hold more than this for them.
constexpr std::size_t kPngChunkLimit = std::size_t{8} << 20;
// libspng's own buffers: a few rows of at most 8 bytes a pixel (16-bit
// RGBA) and the inflater's state, besides the ancillary chunks above.
constexpr uint64_t kRowBuffers = 4;
constexpr uint64_t kMaxBytesPerPixel = 8;
constexpr uint64_t kInflaterBytes = 64 * 1024;

uint64_t decodeBytes(const spng_ihdr& header) {
    const uint64_t row = uint64_t{header.width} * kMaxBytesPerPixel + 1;
    return uint64_t{header.width} * header.height * 4 + kRowBuffers * row + kInflaterBytes +
           kPngChunkLimit;
}

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits) {
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
    if (!ctx) {
        setError(error, "out of memory");
        return std::nullopt;
    }
    // The caps are checked on the header below, before any pixel memory.
    spng_set_chunk_limits(ctx.get(), kPngChunkLimit, kPngChunkLimit);
    if (spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    spng_ihdr header{};
    if (spng_get_ihdr(ctx.get(), &header) != 0) {
        setError(error, "bad PNG header");
        return std::nullopt;
    }
    const auto count = checkedPixelCount(header.width, header.height, limits, error);
    if (!count) return std::nullopt;
    std::size_t decodedSize = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &decodedSize) != 0 ||
        decodedSize != *count * 4) {
        setError(error, "bad PNG header");
        return std::nullopt;
    }
    if (!withinDecodeBudget(decodeBytes(header), limits, error)) return std::nullopt;
    // The R, G, B, A bytes go straight into the words handed out.
    Picture picture;
    picture.width = header.width;
    picture.height = header.height;
    picture.pixels.resize(*count);
    if (spng_decode_image(ctx.get(), picture.pixels.data(), decodedSize, SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS) != 0) {
        setError(error, "corrupt PNG data");
        return std::nullopt;
    }
    argbFromRgbaInPlace(picture);
    return picture;
}

}  // namespace pictra::host::system
