#include "macos/icns_masks.h"

#include "model/bit_mask.h"
#include "model/icon_image.h"

namespace {

// A colour below middle grey, its channels weighted as the eye sees them
// (0.299, 0.587, 0.114), is black on a 1-bit plane.
bool IsDark(uint32_t colour) {
    const uint32_t red = (colour >> 16) & 0xFF;
    const uint32_t green = (colour >> 8) & 0xFF;
    const uint32_t blue = colour & 0xFF;
    return 299 * red + 587 * green + 114 * blue < 128 * 1000;
}

// A plane of a palette picture, eight pixels a byte: a bit is 1 where the
// pixel's pen is not the transparent pen and, with `darkOnly`, its colour
// is dark.
void BuildPlane(const IconImage* image, uint8_t* plane, uint32_t length, bool darkOnly) {
    const auto* pens = static_cast<const uint8_t*>(image->pixels);
    uint32_t count = PixelCount(image) / 8;
    if (count > length) count = length;
    for (uint32_t byte = 0; byte < count; ++byte) {
        uint32_t bits = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            const uint32_t pen = pens[byte * 8 + bit];
            const bool shown = static_cast<int32_t>(pen) != image->transparentPen;
            bits = bits << 1 | (shown && (!darkOnly || IsDark(image->palette[pen])));
        }
        plane[byte] = static_cast<uint8_t>(bits);
    }
}

}  // namespace

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
    BuildPlane(image, plane, length, false);
}

void BuildIconPlane(const IconImage* image, uint8_t* plane, uint32_t length) {
    BuildPlane(image, plane, length, true);
}

int32_t ShowsTwoPens(const IconImage* image) {
    const auto* pens = static_cast<const uint8_t*>(image->pixels);
    const uint32_t count = PixelCount(image);
    for (uint32_t i = 0; i < count; ++i)
        if (pens[i] > 1 && static_cast<int32_t>(pens[i]) != image->transparentPen) return 0;
    return 1;
}

void ExtractAlpha(const IconImage* image, uint8_t* alpha, uint32_t length) {
    const auto* pixels = static_cast<const uint32_t*>(image->pixels);
    uint32_t count = PixelCount(image);
    if (count > length) count = length;
    for (uint32_t i = 0; i < count; ++i) alpha[i] = static_cast<uint8_t>(pixels[i] >> 24);
}
