// RGBA PNG encoding through libspng.
#include <spng.h>

#include <cstdlib>
#include <memory>

#include "host/images.h"

namespace pictra::host {
namespace {

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
struct CFree {
    void operator()(void* block) const { std::free(block); }
};

// PNG allows up to 2^31 - 1 in each dimension.
constexpr uint32_t kMaxPngDimension = 0x7FFFFFFF;

}  // namespace

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
        std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
        if (!ctx) return {};
        spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
        spng_ihdr header{};
        header.width = width;
        header.height = height;
        header.bit_depth = 8;
        header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
        if (spng_set_ihdr(ctx.get(), &header) != 0) return {};
        if (spng_encode_image(ctx.get(), rgba.data(), rgba.size(), SPNG_FMT_PNG,
                              SPNG_ENCODE_FINALIZE) != 0)
            return {};
        std::size_t length = 0;
        int status = 0;
        std::unique_ptr<void, CFree> buffer(spng_get_png_buffer(ctx.get(), &length, &status));
        if (!buffer || status != 0) return {};
        const auto* bytes = static_cast<const uint8_t*>(buffer.get());
        return std::vector<uint8_t>(bytes, bytes + length);
    } catch (...) {
        return {};
    }
}

}  // namespace pictra::host
