// RGBA PNG encoding through stb_image_write.
#include <climits>
#include <cstdlib>
#include <memory>

#include "host/portable/codecs.h"
#include "host/portable/stb.h"

namespace pictra::host::portable {
namespace {

struct CFree {
    void operator()(void* block) const { std::free(block); }
};

}  // namespace

std::vector<uint8_t> encodeRgbaPng(const uint8_t* rgba, uint32_t width, uint32_t height) {
    // stb counts in int: the rows, each with its filter byte, must fit.
    if (width > (INT_MAX - 1) / 4 || height > INT_MAX / (width * 4 + 1)) return {};
    int length = 0;
    std::unique_ptr<unsigned char, CFree> png(
        stbi_write_png_to_mem(rgba, static_cast<int>(width * 4), static_cast<int>(width),
                              static_cast<int>(height), 4, &length));
    if (!png || length <= 0) return {};
    return std::vector<uint8_t>(png.get(), png.get() + length);
}

}  // namespace pictra::host::portable
