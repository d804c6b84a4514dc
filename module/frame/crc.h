// CRC-32 as PNG and zlib use it (reflected, polynomial 0xEDB88320).
#pragma once

#include <cstdint>

// Built once by InitPlugin; read-only afterwards.
extern uint32_t CrcTable[256];

void BuildCrcTable();

// Continues a running CRC (start with 0xFFFFFFFF, finish with XOR 0xFFFFFFFF)
// over the bytes of a NUL-terminated text.
uint32_t UpdateCrcText(uint32_t crc, const char* text);
