// Fuzz target: the colour rows of Windows icon bitmaps. The first four bytes
// pick the bit count, width, height and row order; the rest are the stored
// rows, decoded into a destination of exactly the picture's size. Rows that
// decode whole must survive encoding and decoding again unchanged.
// fuzz-module-sources: windows/bitmap_rows.cpp
#include <cstdint>
#include <cstdio>
#include <vector>

#include "windows/bitmap_rows.h"

namespace {

constexpr int32_t kBitCounts[] = {1, 4, 8, 24, 32, 16};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_ico_rows: %s\n", what);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int32_t bitCount = kBitCounts[data[0] % 6];
    const int32_t width = data[1] + 1;  // sides up to 256, as in icon files
    const int32_t height = data[2] + 1;
    const int32_t topDown = data[3] & 1;
    const uint8_t* rows = data + 4;
    const auto length = static_cast<uint32_t>(size - 4);

    const std::size_t pixelSize = bitCount <= 8 ? 1 : 4;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * height * pixelSize);
    const int32_t whole = DecodeBitmapRows(rows, length, bitCount, width, height, topDown, pixels.data(),
                                           static_cast<uint32_t>(pixels.size()));
    if (!whole || bitCount == 24 || bitCount == 16) return 0;

    // Bottom row first again, then back.
    std::vector<uint32_t> palette(256);
    IconImage image{nullptr, pixels.data(), width, height, 0, bitCount == 32 ? nullptr : palette.data(), -1,
                    bitCount == 32 ? 32 : 8, 0};
    std::vector<uint8_t> stored(length + 4);
    const uint32_t written = EncodeBitmapRows(&image, bitCount, stored.data(), static_cast<uint32_t>(stored.size()));
    if (written == 0 || written > length) fail("rows that decoded whole did not encode in as many bytes");
    std::vector<uint8_t> again(pixels.size());
    if (!DecodeBitmapRows(stored.data(), written, bitCount, width, height, 0, again.data(),
                          static_cast<uint32_t>(again.size())))
        fail("encoded rows did not decode");
    if (again != pixels) fail("pixels changed in a round trip");
    return 0;
}
