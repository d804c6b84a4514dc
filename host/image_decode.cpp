// Image decoding: content sniffing, the caps, and PNG through libspng.
#include <spng.h>

#include <algorithm>
#include <memory>

#include "host/image_codecs.h"
#include "host/images.h"

namespace pictra::host {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 'j',  'P',
                                     ' ',  ' ',  0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t kJ2kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC then SIZ

// Ancillary chunks (text, ICC profiles) are capped so a file cannot make the
// decoder hold more than this for them.
constexpr std::size_t kPngChunkLimit = std::size_t{8} << 20;

template <std::size_t N>
bool startsWith(std::span<const uint8_t> bytes, const uint8_t (&signature)[N]) {
    return bytes.size() >= N && std::equal(signature, signature + N, bytes.begin());
}

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

}  // namespace

std::optional<std::size_t> checkedPixelCount(uint64_t width, uint64_t height,
                                             const DecodeLimits& limits, std::string* error) {
    if (width == 0 || height == 0) {
        setError(error, "image has no pixels");
        return std::nullopt;
    }
    if (width > limits.maxDimension || height > limits.maxDimension) {
        setError(error, "image dimensions exceed the limit");
        return std::nullopt;
    }
    // Both factors are at most 2^32, so the product fits 64 bits; the byte
    // count is checked by dividing rather than multiplying.
    const uint64_t pixels = width * height;
    if (pixels > limits.maxPixelBytes / 4 || pixels > SIZE_MAX / 4) {
        setError(error, "decoded image would exceed the memory limit");
        return std::nullopt;
    }
    return static_cast<std::size_t>(pixels);
}

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
    std::vector<uint8_t> rgba(decodedSize);
    if (spng_decode_image(ctx.get(), rgba.data(), rgba.size(), SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS) != 0) {
        setError(error, "corrupt PNG data");
        return std::nullopt;
    }
    Picture picture;
    picture.width = header.width;
    picture.height = header.height;
    picture.pixels.resize(*count);
    for (std::size_t i = 0; i < *count; ++i) {
        const uint8_t* p = &rgba[i * 4];
        picture.pixels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    return picture;
}

std::optional<Picture> decodeImage(std::span<const uint8_t> bytes, std::string* error,
                                   const DecodeLimits& limits) {
    try {
        if (startsWith(bytes, kPngSignature)) return decodePng(bytes, error, limits);
        if (startsWith(bytes, kJp2Signature)) return decodeJpeg2000(bytes, false, error, limits);
        if (startsWith(bytes, kJ2kSignature)) return decodeJpeg2000(bytes, true, error, limits);
        setError(error, "not a PNG or JPEG 2000 image");
    } catch (const std::bad_alloc&) {
        setError(error, "out of memory");
    }
    return std::nullopt;
}

}  // namespace pictra::host
