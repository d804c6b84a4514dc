// A grow-only scratch block that its owner keeps across many uses.
#pragma once

#include <cstdint>

struct Scratch {
    void* block;        // memory tag "pbuf"; null until first reserved
    uint32_t capacity;  // its size in bytes
};

// A block of at least `needed` bytes: the one held when it is larger, else a
// fresh one in its place (contents not kept). Null when memory runs out; the
// old block is gone then too and the scratch is empty again.
void* ReserveScratch(Scratch* scratch, uint32_t needed);

// Gives the block back and leaves the scratch empty.
void ReleaseScratch(Scratch* scratch);
