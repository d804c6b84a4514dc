#include "macos/icns_masks.h"

#include "model/bit_mask.h"
#include "model/icon_image.h"

int32_t LocateIcnsMask(uint32_t dataLength, uint32_t maskBytes, uint32_t* offset) {
    if (dataLength == maskBytes) {
        *offset = 0;
        return 1;
    }
    // The icon plane before the mask plane is never shown: skip it.
    if (maskBytes <= UINT32_MAX / 2 && dataLength == 2 * maskBytes) {
        *offset = maskBytes;
        return 1;
    }
    return 0;
}

void ApplyAlphaMask(const uint8_t* alpha, uint32_t length, IconImage* image) {
    auto* pixels = static_cast<uint32_t*>(image->pixels);
    uint32_t count = PixelCount(image);
    if (count > length) count = length;
    for (uint32_t i = 0; i < count; ++i)
        pixels[i] = static_cast<uint32_t>(alpha[i]) << 24 | (pixels[i] & 0x00FFFFFFu);
}

int32_t ApplyPlaneMask(const uint8_t* plane, uint32_t length, IconImage* image) {
    return ApplyBitMask(plane, length, image, BitMaskTopDownPacked);
}

void BuildMaskPlane(const IconImage* image, uint8_t* plane, uint32_t length) {
    const auto* pens = static_cast<const uint8_t*>(image->pixels);
    uint32_t count = PixelCount(image) / 8;
    if (count > length) count = length;
    for (uint32_t byte = 0; byte < count; ++byte) {
        uint32_t bits = 0;
        for (uint32_t bit = 0; bit < 8; ++bit)
            bits = bits << 1 | (static_cast<int32_t>(pens[byte * 8 + bit]) != image->transparentPen);
        plane[byte] = static_cast<uint8_t>(bits);
    }
}

void ExtractAlpha(const IconImage* image, uint8_t* alpha, uint32_t length) {
    const auto* pixels = static_cast<const uint32_t*>(image->pixels);
    uint32_t count = PixelCount(image);
    if (count > length) count = length;
    for (uint32_t i = 0; i < count; ++i) alpha[i] = static_cast<uint8_t>(pixels[i] >> 24);
}
