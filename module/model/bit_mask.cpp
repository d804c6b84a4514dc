#include "model/bit_mask.h"

#include <cstring>

#include "frame/host.h"
#include "frame/sizes.h"
#include "model/icon_image.h"

namespace {

constexpr int32_t MaxPaletteDepth = 8;
constexpr uint32_t PenCount = 256;
constexpr uint32_t RowAlignment = 4;
constexpr uint32_t OpaqueAlpha = 0xFF000000u;
constexpr uint32_t ColourBits = 0x00FFFFFFu;

// The mask bytes of one picture row, as many as the mask holds of it.
struct MaskRow {
    const uint8_t* bytes;
    uint32_t available;
    uint8_t flip;  // 0xFF when a clear bit is transparent
};

struct MaskSource {
    const uint8_t* bytes;
    uint32_t length;
    uint32_t rowBytes;
    int32_t height;
    int32_t layout;
};

uint32_t MaskRowBytes(uint32_t width, int32_t layout) {
    uint32_t packed = width / 8 + (width % 8 != 0 ? 1 : 0);
    if (layout == BitMaskTopDownPacked) return packed;
    return (packed + RowAlignment - 1) / RowAlignment * RowAlignment;
}

// Where row y of the picture (0 = top) starts. BitMaskByteCount has proved
// that every row's start fits in 32 bits.
uint32_t RowStart(const MaskSource& mask, int32_t y) {
    int32_t stored = mask.layout == BitMaskTopDownPacked ? y : mask.height - 1 - y;
    return static_cast<uint32_t>(stored) * mask.rowBytes;
}

MaskRow RowOf(const MaskSource& mask, int32_t y) {
    uint32_t start = RowStart(mask, y);
    MaskRow row{nullptr, 0, static_cast<uint8_t>(mask.layout == BitMaskTopDownPacked ? 0xFF : 0)};
    if (start >= mask.length) return row;
    uint32_t left = mask.length - start;
    row.bytes = mask.bytes + start;
    row.available = left < mask.rowBytes ? left : mask.rowBytes;
    return row;
}

// Eight pixels from pixel 8 * index on, a set bit for each transparent one;
// bits the mask does not hold are opaque.
inline uint32_t TransparentBits(const MaskRow& row, uint32_t index) {
    if (index >= row.available) return 0;
    return static_cast<uint8_t>(row.bytes[index] ^ row.flip);
}

inline bool IsTransparent(const MaskRow& row, uint32_t x) {
    return (TransparentBits(row, x >> 3) & (0x80u >> (x & 7))) != 0;
}

void ApplyToTrueColour(const MaskSource& mask, IconImage* image) {
    auto* pixels = static_cast<uint32_t*>(image->pixels);
    uint32_t width = static_cast<uint32_t>(image->width);
    for (int32_t y = 0; y < image->height; ++y) {
        MaskRow row = RowOf(mask, y);
        uint32_t* line = pixels + static_cast<uint32_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x)
            line[x] = IsTransparent(row, x) ? line[x] & ColourBits : line[x] | OpaqueAlpha;
    }
}

// Which pens opaque and transparent pixels hold. A pixel is transparent when
// the mask says so or it already holds the picture's transparent pen.
struct PenUse {
    uint8_t opaque[PenCount];
    uint8_t transparent[PenCount];
    uint32_t transparentPixels;
};

bool HasPen(const IconImage* image) {
    return TransparentPenOf(image) >= 0;
}

bool IsTransparentPixel(const MaskRow& row, uint32_t x, uint8_t pen, const IconImage* image) {
    return IsTransparent(row, x) || (HasPen(image) && pen == image->transparentPen);
}

void CountPens(const MaskSource& mask, const IconImage* image, PenUse* use) {
    const auto* pixels = static_cast<const uint8_t*>(image->pixels);
    uint32_t width = static_cast<uint32_t>(image->width);
    bool hasPen = HasPen(image);
    for (int32_t y = 0; y < image->height; ++y) {
        MaskRow row = RowOf(mask, y);
        const uint8_t* line = pixels + static_cast<uint32_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            // Eight opaque pixels at once: the common case.
            if (!hasPen && (x & 7) == 0 && x + 8 <= width && TransparentBits(row, x >> 3) == 0) {
                for (uint32_t i = 0; i < 8; ++i) use->opaque[line[x + i]] = 1;
                x += 7;
                continue;
            }
            if (IsTransparentPixel(row, x, line[x], image)) {
                use->transparent[line[x]] = 1;
                ++use->transparentPixels;
            } else {
                use->opaque[line[x]] = 1;
            }
        }
    }
}

// The smallest pen below `limit` that no opaque pixel holds, preferring one
// no pixel holds at all; -1 when every such pen shows an opaque pixel.
int32_t FreePen(const PenUse& use, uint32_t limit) {
    for (uint32_t pen = 0; pen < limit; ++pen)
        if (!use.opaque[pen] && !use.transparent[pen]) return static_cast<int32_t>(pen);
    for (uint32_t pen = 0; pen < limit; ++pen)
        if (!use.opaque[pen]) return static_cast<int32_t>(pen);
    return -1;
}

// Finds the transparent pen, widening the depth while none is free; -1 when
// even 8 bits offer none.
int32_t ChoosePen(const PenUse& use, IconImage* image) {
    if (HasPen(image)) return image->transparentPen;
    int32_t depth = image->depth < 1 ? 1 : image->depth;
    for (;;) {
        int32_t pen = FreePen(use, 1u << depth);
        if (pen >= 0) {
            image->depth = depth;
            return pen;
        }
        if (depth >= MaxPaletteDepth) return -1;
        depth = depth < 4 ? 4 : MaxPaletteDepth;
    }
}

void SetTransparentPixels(const MaskSource& mask, IconImage* image, int32_t pen) {
    auto* pixels = static_cast<uint8_t*>(image->pixels);
    uint32_t width = static_cast<uint32_t>(image->width);
    for (int32_t y = 0; y < image->height; ++y) {
        MaskRow row = RowOf(mask, y);
        uint8_t* line = pixels + static_cast<uint32_t>(y) * width;
        for (uint32_t x = 0; x < width; x += 8) {
            uint32_t bits = TransparentBits(row, x >> 3);
            for (uint32_t i = 0; bits && i < 8 && x + i < width; ++i)
                if (bits & (0x80u >> i)) line[x + i] = static_cast<uint8_t>(pen);
        }
    }
    image->transparentPen = pen;
}

// An 8-bit picture whose 256 pens all show opaque pixels: its colours with
// the mask as alpha, as a 32-bit picture.
int32_t WidenToTrueColour(const MaskSource& mask, IconImage* image) {
    uint32_t width = static_cast<uint32_t>(image->width);
    uint32_t bytes = 0;
    if (!IconImageByteCount(image->width, image->height, 32, &bytes)) return 0;
    auto* colours = static_cast<uint32_t*>(AllocMemory(bytes, 0, "icdata"));
    if (!colours) return 0;
    const auto* pens = static_cast<const uint8_t*>(image->pixels);
    for (int32_t y = 0; y < image->height; ++y) {
        MaskRow row = RowOf(mask, y);
        uint32_t first = static_cast<uint32_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t pen = pens[first + x];
            uint32_t colour = image->palette[pen] & ColourBits;
            colours[first + x] = IsTransparentPixel(row, x, pen, image) ? colour : colour | OpaqueAlpha;
        }
    }
    FreeMemory(image->pixels);
    FreeMemory(image->palette);
    image->pixels = colours;
    image->palette = nullptr;
    image->depth = 32;
    image->transparentPen = -1;
    return 1;
}

int32_t ApplyToPalette(const MaskSource& mask, IconImage* image) {
    PenUse use{};
    CountPens(mask, image, &use);
    if (use.transparentPixels == 0) {
        image->transparentPen = -1;
        return 1;
    }
    int32_t pen = ChoosePen(use, image);
    if (pen < 0) return WidenToTrueColour(mask, image);
    SetTransparentPixels(mask, image, pen);
    return 1;
}

}  // namespace

int32_t BitMaskByteCount(int32_t width, int32_t height, int32_t layout, uint32_t* bytes) {
    if (width < 0 || height < 0) return 0;
    return MultiplySize(MaskRowBytes(static_cast<uint32_t>(width), layout), static_cast<uint32_t>(height),
                        bytes);
}

int32_t ApplyBitMask(const uint8_t* mask, uint32_t length, IconImage* image, int32_t layout) {
    uint32_t whole = 0;
    if (!BitMaskByteCount(image->width, image->height, layout, &whole)) return 0;
    MaskSource source{mask, length < whole ? length : whole, MaskRowBytes(static_cast<uint32_t>(image->width), layout),
                      image->height, layout};
    if (image->depth > MaxPaletteDepth) {
        ApplyToTrueColour(source, image);
        return 1;
    }
    return ApplyToPalette(source, image);
}

uint32_t EncodeBitMask(const IconImage* image, int32_t layout, uint8_t* destination, uint32_t destinationLength) {
    uint32_t whole = 0;
    if (!BitMaskByteCount(image->width, image->height, layout, &whole) || whole > destinationLength) return 0;
    memset(destination, 0, whole);
    MaskSource target{destination, whole, MaskRowBytes(static_cast<uint32_t>(image->width), layout),
                      image->height, layout};
    uint32_t width = static_cast<uint32_t>(image->width);
    bool flipped = layout == BitMaskTopDownPacked;
    for (int32_t y = 0; y < image->height; ++y) {
        uint8_t* bytes = destination + RowStart(target, y);
        uint32_t first = static_cast<uint32_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            bool clear = image->depth <= MaxPaletteDepth
                             ? static_cast<const uint8_t*>(image->pixels)[first + x] == image->transparentPen
                             : (static_cast<const uint32_t*>(image->pixels)[first + x] >> 24) == 0;
            // Stored bits say "transparent" when the layout does not flip them.
            if (clear != flipped) bytes[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        }
    }
    return whole;
}
