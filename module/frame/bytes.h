// Integers of both byte orders from and into a block in memory. Each read
// names the block's length and fails, leaving *value untouched, when the
// field does not lie wholly inside it: a header parsed from memory can never
// read past it. Writers put their bytes through a ByteSink.
#pragma once

#include <cstdint>
#include <cstring>

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
inline void PokeBE16(uint8_t* data, uint32_t value) {
    data[0] = static_cast<uint8_t>(value >> 8);
    data[1] = static_cast<uint8_t>(value);
}

inline void PokeLE16(uint8_t* data, uint32_t value) {
    data[0] = static_cast<uint8_t>(value);
    data[1] = static_cast<uint8_t>(value >> 8);
}

inline void PokeBE32(uint8_t* data, uint32_t value) {
    PokeBE16(data, value >> 16);
    PokeBE16(data + 2, value);
}

inline void PokeLE32(uint8_t* data, uint32_t value) {
    PokeLE16(data, value);
    PokeLE16(data + 2, value >> 16);
}

// Bytes put one after another into a fixed block. A put that does not fit
// writes nothing and sets `full`, which stays set: the writer checks once at
// the end instead of after every put. With `data` null the sink only counts,
// so a block can be measured before it is allocated.
struct ByteSink {
    uint8_t* data;
    uint32_t room;
    uint32_t used;
    bool full;
};

// The next `length` bytes of the block, now counted as used; null when they
// do not fit (or the sink only counts).
inline uint8_t* ClaimBytes(ByteSink* sink, uint32_t length) {
    if (sink->full || length > sink->room - sink->used) {
        sink->full = true;
        return nullptr;
    }
    uint8_t* at = sink->data ? sink->data + sink->used : nullptr;
    sink->used += length;
    return at;
}

inline void PutBytes(ByteSink* sink, const void* bytes, uint32_t length) {
    uint8_t* at = ClaimBytes(sink, length);
    if (at && length) memcpy(at, bytes, length);
}

inline void PutField(ByteSink* sink, uint32_t length, void (*poke)(uint8_t*, uint32_t), uint32_t value) {
    uint8_t* at = ClaimBytes(sink, length);
    if (at) poke(at, value);
}

inline void PutByte(ByteSink* sink, uint32_t value) {
    uint8_t* at = ClaimBytes(sink, 1);
    if (at) *at = static_cast<uint8_t>(value);
}

inline void PutBE16(ByteSink* sink, uint32_t value) { PutField(sink, 2, PokeBE16, value); }
inline void PutBE32(ByteSink* sink, uint32_t value) { PutField(sink, 4, PokeBE32, value); }
inline void PutLE16(ByteSink* sink, uint32_t value) { PutField(sink, 2, PokeLE16, value); }
inline void PutLE32(ByteSink* sink, uint32_t value) { PutField(sink, 4, PokeLE32, value); }

// Colours stored as the bytes red, green, blue, and as words 0x00RRGGBB.
inline void RgbToWords(const uint8_t* rgb, uint32_t count, uint32_t* words) {
    for (uint32_t k = 0; k < count; ++k, rgb += 3)
        words[k] = static_cast<uint32_t>(rgb[0]) << 16 | static_cast<uint32_t>(rgb[1]) << 8 | rgb[2];
}

inline void WordsToRgb(const uint32_t* words, uint32_t count, uint8_t* rgb) {
    for (uint32_t k = 0; k < count; ++k, rgb += 3) {
        rgb[0] = static_cast<uint8_t>(words[k] >> 16);
        rgb[1] = static_cast<uint8_t>(words[k] >> 8);
        rgb[2] = static_cast<uint8_t>(words[k]);
    }
}
