// NewIcons text: the pictures some Amiga icons carry as tool-type lines.
// Values of 1 to 9 bits are packed, most significant bit first, into 7-bit
// groups, each written as one character; runs of zero groups shrink to one
// character. Every line is a stream of its own: a value that does not fit
// wholly into a line is repeated whole at the start of the next, and a reader
// drops the bits left over at the end of each line.
//
// Both directions work between memory blocks whose lengths they are given,
// allocate nothing and never touch a byte outside those blocks.
#pragma once

#include <cstdint>

// The longest line the encoder writes, its prefix included.
inline constexpr uint32_t NewIconsLineLimit = 128;

// Where a decoder stands in a tool-type block: texts one after another, each
// ended by a NUL. `next` is the offset of the next text to take.
struct NewIconsCursor {
    const char* texts;
    uint32_t length;
    uint32_t next;
};

// Produces `count` values of `bits` bits (1 to 9) and stores the first
// `outLength` of them in `out`, one byte each (a 9-bit value loses its top
// bit); values past `outLength` are decoded and dropped. With `firstLine` set
// the text at the cursor is a picture's first line and decoding starts at its
// tenth character, after the header; otherwise it starts with the text at the
// cursor. Every further text must begin "IM1=" (image 0) or "IM2=" (image 1)
// and hold a fifth character. 1 when all values came, 0 when the lines ran
// out first (the values not produced are left as they were).
int32_t DecodeNewIconValues(NewIconsCursor* cursor, uint32_t image, int32_t firstLine, uint32_t bits,
                            uint32_t count, uint8_t* out, uint32_t outLength);

// Writes `count` values of `bits` bits (1 to 8) as lines in file form, each a
// big-endian length word counting its NUL, the characters and the NUL. The
// first line begins with `prefix` (`prefixLength` characters, at most 9),
// later lines with its first four characters. Adds the bytes written to
// *used and the lines written to *lines. 0 when `out` has no room left for
// them (what was written is then incomplete) or the arguments are out of range.
int32_t EncodeNewIconValues(const uint8_t* values, uint32_t count, uint32_t bits, const char* prefix,
                            uint32_t prefixLength, uint8_t* out, uint32_t outLength, uint32_t* used,
                            uint32_t* lines);

// Bytes that are always enough for EncodeNewIconValues of `count` values of
// `bits` bits; 0 when that does not fit in 32 bits.
uint32_t NewIconsEncodedBound(uint32_t count, uint32_t bits);
