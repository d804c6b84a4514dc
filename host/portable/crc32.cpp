// CRC-32 (PNG, zlib's crc32) and Adler-32 (zlib's stream trailer).
#include <array>

#include "host/portable/codecs.h"

namespace pictra::host::portable {
namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

}  // namespace

uint32_t crc32(const void* buffer, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t c = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t adler32(const uint8_t* bytes, std::size_t length) {
    constexpr uint32_t kBase = 65521;
    // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
    constexpr std::size_t kRun = 5552;
    uint32_t a = 1, b = 0;
    while (length > 0) {
        const std::size_t run = length < kRun ? length : kRun;
        for (std::size_t i = 0; i < run; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= kBase;
        b %= kBase;
        bytes += run;
        length -= run;
    }
    return b << 16 | a;
}

}  // namespace pictra::host::portable
