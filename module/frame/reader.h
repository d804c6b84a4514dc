// Checked reading for the format readers. A value from a file that sizes a
// block, a copy or a loop is first held against what these report of the
// stream's end.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// The stream's current position, or -1 when the host cannot tell.
int32_t StreamPosition(StreamHandle stream);

// The bytes between the current position and the end of the stream, 0 when
// the position is at or past the end or the host cannot tell. The position
// is unchanged.
uint32_t StreamBytesLeft(StreamHandle stream);

// Reads exactly `length` bytes into `buffer`: 1 on success, 0 on a short read
// (the buffer may then hold part of the data).
int32_t ReadExactly(StreamHandle stream, void* buffer, uint32_t length);

// Moves forward by `length` bytes: 1 on success, 0 (position unchanged) when
// fewer than `length` bytes are left. A walk built on it can never go back.
int32_t SkipForward(StreamHandle stream, uint32_t length);

// What may still be read of a file, a chunk or a buffer. Take checks before
// it subtracts, so the budget never wraps.
struct LengthBudget {
    uint32_t bytes;

    bool Holds(uint32_t length) const { return length <= bytes; }
};

inline int32_t TakeFromBudget(LengthBudget* budget, uint32_t length) {
    if (!budget->Holds(length)) return 0;
    budget->bytes -= length;
    return 1;
}
