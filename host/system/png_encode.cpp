// RGBA PNG encoding through libspng.
#include <spng.h>

#include <cstdlib>
#include <memory>

#include "host/system/codecs.h"

namespace pictra::host::system {
namespace {

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
struct CFree {
    void operator()(void* block) const { std::free(block); }
};

}  // namespace

std::vector<uint8_t> encodeRgbaPng(const uint8_t* rgba, uint32_t width, uint32_t height) {
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) return {};
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header{};
    header.width = width;
    header.height = height;
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (spng_set_ihdr(ctx.get(), &header) != 0) return {};
    const std::size_t size = std::size_t{width} * height * 4;
    if (spng_encode_image(ctx.get(), rgba, size, SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
        return {};
    std::size_t length = 0;
    int status = 0;
    std::unique_ptr<void, CFree> buffer(spng_get_png_buffer(ctx.get(), &length, &status));
    if (!buffer || status != 0) return {};
    const auto* bytes = static_cast<const uint8_t*>(buffer.get());
    return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace pictra::host::system
