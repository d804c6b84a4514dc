// Checked size arithmetic. Every byte count derived from dimensions goes
// through here: width * height * 4 overflows 32 bits on the real target.
#pragma once

#include <cstdint>

// Writes a * b to *product and returns 1, or returns 0 when the product does
// not fit in 32 bits (then *product is untouched).
inline int32_t MultiplySize(uint32_t a, uint32_t b, uint32_t* product) {
    // Dividing first proves a * b <= UINT32_MAX without a wider type.
    if (b != 0 && a > UINT32_MAX / b) return 0;
    *product = a * b;
    return 1;
}

// A block of count * size bytes with the given memory tag, zero-filled when
// `clear` is set; null when the product overflows or the host has no memory.
void* AllocArray(uint32_t count, uint32_t size, uint32_t clear, const char* tag);
