// Helpers that both codec sets share.
#include "host/image_codecs.h"

#include <cstring>

namespace pictra::host {

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

bool withinDecodeBudget(uint64_t bytes, const DecodeLimits& limits, std::string* error) {
    if (bytes <= limits.maxDecodeBytes) return true;
    setError(error, "decoding would exceed the memory budget");
    return false;
}

Picture pictureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height, std::size_t count) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* p = &rgba[i * 4];
        picture.pixels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    return picture;
}

void argbFromRgbaInPlace(Picture& picture) {
    for (uint32_t& word : picture.pixels) {
        uint8_t p[4];
        std::memcpy(p, &word, sizeof p);
        word = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
}

}  // namespace pictra::host
