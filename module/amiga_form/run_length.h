// The run-length scheme of IMAG picture data and palettes: a bit stream,
// most significant bit first, of 8-bit control codes each followed by
// values of `depth` bits (1 to 8).
//   0-127    a literal block: code + 1 values follow
//   128      nothing: the next item is again a control code
//   129-255  a run: one value follows, standing for 257 - code copies
// Both directions work on caller memory only and never touch anything
// outside the two blocks they are given.
#pragma once

#include <cstdint>

// Unpacks into at most `destinationLength` values, one byte each, reading no
// more than `sourceLength` bytes. Returns the number of values produced: less
// than `destinationLength` when the stream ends early (the bytes not reached
// keep what they held). A depth outside 1-8 produces nothing.
uint32_t DecodeRunLength(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                         uint32_t destinationLength, uint32_t depth);

// Packs `sourceLength` values (each masked to `depth` bits) into
// `destination`. Returns 1 with *packedLength set when the packed form fits
// in `destinationLength` bytes, 0 when it does not or the depth is outside
// 1-8 (then the block holds a cut-off stream that must not be used).
// Callers give the raw size as room: packing that does not pay fails here.
int32_t EncodeRunLength(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                        uint32_t destinationLength, uint32_t depth, uint32_t* packedLength);
