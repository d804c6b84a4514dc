#include "frame/crc.h"

uint32_t CrcTable[256];

void BuildCrcTable() {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        CrcTable[n] = c;
    }
}

uint32_t UpdateCrcText(uint32_t crc, const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        crc = CrcTable[(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}
