// Integers of both byte orders from a block in memory. Each read names the
// block's length and fails, leaving *value untouched, when the field does not
// lie wholly inside it: a header parsed from memory can never read past it.
#pragma once

#include <cstdint>

inline int32_t FieldFits(uint32_t length, uint32_t offset, uint32_t size) {
    return offset <= length && size <= length - offset;
}

inline int32_t PeekBE16(const uint8_t* data, uint32_t length, uint32_t offset, uint32_t* value) {
    if (!FieldFits(length, offset, 2)) return 0;
    *value = static_cast<uint32_t>(data[offset]) << 8 | data[offset + 1];
    return 1;
}

inline int32_t PeekLE16(const uint8_t* data, uint32_t length, uint32_t offset, uint32_t* value) {
    if (!FieldFits(length, offset, 2)) return 0;
    *value = static_cast<uint32_t>(data[offset + 1]) << 8 | data[offset];
    return 1;
}

inline int32_t PeekBE32(const uint8_t* data, uint32_t length, uint32_t offset, uint32_t* value) {
    if (!FieldFits(length, offset, 4)) return 0;
    *value = static_cast<uint32_t>(data[offset]) << 24 | static_cast<uint32_t>(data[offset + 1]) << 16 |
             static_cast<uint32_t>(data[offset + 2]) << 8 | data[offset + 3];
    return 1;
}

inline int32_t PeekLE32(const uint8_t* data, uint32_t length, uint32_t offset, uint32_t* value) {
    if (!FieldFits(length, offset, 4)) return 0;
    *value = static_cast<uint32_t>(data[offset + 3]) << 24 | static_cast<uint32_t>(data[offset + 2]) << 16 |
             static_cast<uint32_t>(data[offset + 1]) << 8 | data[offset];
    return 1;
}

// Stores into a block in memory; the caller has sized the block.
inline void PokeBE32(uint8_t* data, uint32_t value) {
    data[0] = static_cast<uint8_t>(value >> 24);
    data[1] = static_cast<uint8_t>(value >> 16);
    data[2] = static_cast<uint8_t>(value >> 8);
    data[3] = static_cast<uint8_t>(value);
}
