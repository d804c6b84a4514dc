// PNG decoding: libspng reads the header and the chunks before the image
// data, then the fast way (png_fast.h) decodes what it covers and libspng
// the rest.
#include <spng.h>

#include <algorithm>
#include <memory>

#include "host/system/codecs.h"
#include "host/system/png_fast.h"

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
constexpr uint64_t kChunkBytes = kPngChunkLimit + kInflaterBytes;

uint64_t decodeBytes(const spng_ihdr& header) {
    const uint64_t row = uint64_t{header.width} * kMaxBytesPerPixel + 1;
    return uint64_t{header.width} * header.height * 4 + kRowBuffers * row + kInflaterBytes +
           kPngChunkLimit;
}

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// A context over `bytes` whose header has met the caps; the pixel count
// goes to `count`.
std::unique_ptr<spng_ctx, SpngFree> openPng(std::span<const uint8_t> bytes, std::string* error,
                                           const DecodeLimits& limits, spng_ihdr& header,
                                           std::size_t& count) {
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
    if (!ctx) {
        setError(error, "out of memory");
        return nullptr;
    }
    // The caps are checked on the header below, before any pixel memory.
    spng_set_chunk_limits(ctx.get(), kPngChunkLimit, kPngChunkLimit);
    if (spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) {
        setError(error, "cannot read PNG data");
        return nullptr;
    }
    if (spng_get_ihdr(ctx.get(), &header) != 0) {
        setError(error, "bad PNG header");
        return nullptr;
    }
    const auto pixels = checkedPixelCount(header.width, header.height, limits, error);
    if (!pixels) return nullptr;
    std::size_t decodedSize = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &decodedSize) != 0 ||
        decodedSize != *pixels * 4) {
        setError(error, "bad PNG header");
        return nullptr;
    }
    if (!withinDecodeBudget(decodeBytes(header), limits, error)) return nullptr;
    count = *pixels;
    return ctx;
}

// The whole picture through libspng.
std::optional<Picture> spngPicture(spng_ctx* ctx, const spng_ihdr& header, std::size_t count,
                                   std::string* error) {
    // The R, G, B, A bytes go straight into the words handed out.
    Picture picture;
    picture.width = header.width;
    picture.height = header.height;
    picture.pixels.resize(count);
    if (spng_decode_image(ctx, picture.pixels.data(), count * 4, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
        setError(error, "corrupt PNG data");
        return std::nullopt;
    }
    argbFromRgbaInPlace(picture);
    return picture;
}

// The header and the chunks libspng has read before the image data, as the
// fast way takes them; false when libspng refuses those chunks.
bool readLayout(spng_ctx* ctx, const spng_ihdr& header, PngLayout& layout) {
    layout.width = header.width;
    layout.height = header.height;
    layout.depth = header.bit_depth;
    layout.colourType = header.color_type;
    layout.interlaced = header.interlace_method != 0;
    if (!fastPngCovers(layout) || spng_decode_chunks(ctx) != 0) return false;
    spng_trns trns{};
    const bool transparency = spng_get_trns(ctx, &trns) == 0;
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        if (spng_get_plte(ctx, &plte) != 0) return false;
        layout.paletteSize = std::min<uint32_t>(plte.n_entries, 256);
        for (uint32_t i = 0; i < layout.paletteSize; ++i) {
            const uint32_t alpha = transparency && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
            const spng_plte_entry& e = plte.entries[i];
            layout.palette[i] = alpha << 24 | uint32_t{e.red} << 16 | uint32_t{e.green} << 8 | e.blue;
        }
    } else if (transparency) {
        layout.hasKey = true;
        layout.keyGrey = trns.gray;
        layout.keyRed = trns.red;
        layout.keyGreen = trns.green;
        layout.keyBlue = trns.blue;
    }
    return true;
}

// The fast way where it covers the picture, else libspng; `writable`, when
// given, is the memory of `bytes`, which the fast way may rearrange.
std::optional<Picture> decodeEitherWay(std::span<const uint8_t> bytes, std::span<uint8_t> writable,
                                       std::string* error, const DecodeLimits& limits) {
    spng_ihdr header{};
    std::size_t count = 0;
    const auto ctx = openPng(bytes, error, limits, header, count);
    if (!ctx) return std::nullopt;
    PngLayout layout;
    if (readLayout(ctx.get(), header, layout)) {
        // libspng keeps the ancillary chunks it has read meanwhile.
        const uint64_t budget = limits.maxDecodeBytes - std::min(limits.maxDecodeBytes, kChunkBytes);
        if (auto picture = decodePngFast(bytes, layout, budget, writable)) return picture;
    }
    return spngPicture(ctx.get(), header, count, error);
}

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits) {
    return decodeEitherWay(bytes, {}, error, limits);
}

std::optional<Picture> decodePngInPlace(std::span<uint8_t> bytes, std::string* error,
                                        const DecodeLimits& limits) {
    return decodeEitherWay(bytes, bytes, error, limits);
}

std::optional<Picture> decodePngReference(std::span<const uint8_t> bytes, std::string* error,
                                          const DecodeLimits& limits) {
    spng_ihdr header{};
    std::size_t count = 0;
    const auto ctx = openPng(bytes, error, limits, header, count);
    if (!ctx) return std::nullopt;
    return spngPicture(ctx.get(), header, count, error);
}

}  // namespace pictra::host::system
