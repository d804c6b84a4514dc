#include "windows/bitmap_rows.h"

#include <cstring>

#include "frame/sizes.h"

namespace {

constexpr uint32_t RowAlignmentBits = 32;
constexpr uint32_t OpaqueAlpha = 0xFF000000u;
constexpr int32_t MaxPaletteDepth = 8;

void DecodePenRow(const uint8_t* row, int32_t bitCount, uint32_t width, uint8_t* pens) {
    if (bitCount == 8) {
        memcpy(pens, row, width);
    } else if (bitCount == 4) {
        for (uint32_t x = 0; x < width; ++x) pens[x] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    } else {
        for (uint32_t x = 0; x < width; ++x) pens[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void DecodeColourRow(const uint8_t* row, int32_t bitCount, uint32_t width, uint32_t* pixels) {
    if (bitCount == 24) {
        for (uint32_t x = 0; x < width; ++x, row += 3)
            pixels[x] = OpaqueAlpha | static_cast<uint32_t>(row[2]) << 16 | static_cast<uint32_t>(row[1]) << 8 | row[0];
    } else {
        for (uint32_t x = 0; x < width; ++x, row += 4)
            pixels[x] = static_cast<uint32_t>(row[3]) << 24 | static_cast<uint32_t>(row[2]) << 16 |
                        static_cast<uint32_t>(row[1]) << 8 | row[0];
    }
}

// One stored row from the pens of a picture row; `row` is zero-filled.
void EncodePenRow(const uint8_t* pens, int32_t bitCount, uint32_t width, uint8_t* row) {
    uint32_t keep = (1u << bitCount) - 1;
    if (bitCount == 8) {
        memcpy(row, pens, width);
    } else if (bitCount == 4) {
        for (uint32_t x = 0; x < width; ++x)
            row[x >> 1] |= static_cast<uint8_t>((pens[x] & keep) << ((x & 1) ? 0 : 4));
    } else {
        for (uint32_t x = 0; x < width; ++x)
            row[x >> 3] |= static_cast<uint8_t>((pens[x] & keep) << (7 - (x & 7)));
    }
}

void EncodeColourRow(const uint32_t* pixels, uint32_t width, uint8_t* row) {
    for (uint32_t x = 0; x < width; ++x, row += 4) {
        row[0] = static_cast<uint8_t>(pixels[x]);
        row[1] = static_cast<uint8_t>(pixels[x] >> 8);
        row[2] = static_cast<uint8_t>(pixels[x] >> 16);
        row[3] = static_cast<uint8_t>(pixels[x] >> 24);
    }
}

uint32_t Smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace

int32_t IsBitmapBitCount(int32_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

int32_t BitmapRowBytes(int32_t width, int32_t bitCount, uint32_t* bytes) {
    uint32_t bits = 0;
    if (width < 0 || bitCount < 0) return 0;
    if (!MultiplySize(static_cast<uint32_t>(width), static_cast<uint32_t>(bitCount), &bits)) return 0;
    if (bits > UINT32_MAX - (RowAlignmentBits - 1)) return 0;
    *bytes = (bits + RowAlignmentBits - 1) / RowAlignmentBits * (RowAlignmentBits / 8);
    return 1;
}

int32_t DecodeBitmapRows(const uint8_t* source, uint32_t sourceLength, int32_t bitCount, int32_t width,
                         int32_t height, int32_t topDown, void* destination, uint32_t destinationLength) {
    uint32_t rowBytes = 0;
    uint32_t lineBytes = 0;
    if (!IsBitmapBitCount(bitCount) || height < 0 || !BitmapRowBytes(width, bitCount, &rowBytes)) return 0;
    uint32_t pixelSize = bitCount <= MaxPaletteDepth ? 1 : 4;
    if (!MultiplySize(static_cast<uint32_t>(width), pixelSize, &lineBytes)) return 0;

    uint32_t rows = static_cast<uint32_t>(height);
    uint32_t sourceRows = rowBytes ? sourceLength / rowBytes : rows;
    uint32_t destinationRows = lineBytes ? destinationLength / lineBytes : rows;
    uint32_t stored = Smaller(rows, sourceRows);
    for (uint32_t i = 0; i < stored; ++i) {
        uint32_t y = topDown ? i : rows - 1 - i;
        if (y >= destinationRows) continue;
        const uint8_t* row = source + i * rowBytes;
        uint8_t* line = static_cast<uint8_t*>(destination) + y * lineBytes;
        if (pixelSize == 1)
            DecodePenRow(row, bitCount, static_cast<uint32_t>(width), line);
        else
            DecodeColourRow(row, bitCount, static_cast<uint32_t>(width), reinterpret_cast<uint32_t*>(line));
    }
    return sourceRows >= rows && destinationRows >= rows;
}

uint32_t EncodeBitmapRows(const IconImage* image, int32_t bitCount, uint8_t* destination,
                          uint32_t destinationLength) {
    bool palette = image->depth <= MaxPaletteDepth;
    if (palette ? (bitCount != 1 && bitCount != 4 && bitCount != 8) : bitCount != 32) return 0;
    uint32_t rowBytes = 0;
    uint32_t total = 0;
    if (image->height < 0 || !BitmapRowBytes(image->width, bitCount, &rowBytes)) return 0;
    if (!MultiplySize(rowBytes, static_cast<uint32_t>(image->height), &total) || total > destinationLength)
        return 0;

    uint32_t width = static_cast<uint32_t>(image->width);
    uint32_t rows = static_cast<uint32_t>(image->height);
    for (uint32_t i = 0; i < rows; ++i) {
        uint32_t y = rows - 1 - i;  // bottom row first
        uint8_t* row = destination + i * rowBytes;
        memset(row, 0, rowBytes);
        if (palette)
            EncodePenRow(static_cast<const uint8_t*>(image->pixels) + y * width, bitCount, width, row);
        else
            EncodeColourRow(static_cast<const uint32_t*>(image->pixels) + y * width, width, row);
    }
    return total;
}
