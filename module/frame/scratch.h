// A grow-only scratch block that its owner keeps across many uses.
#pragma once

#include <cstdint>

// Returns `block` when its capacity exceeds `needed`; otherwise releases it
// and returns a fresh block of `needed` bytes (contents not kept), updating
// *capacity. Null when the allocation failed: the old block is gone then and
// *capacity is unchanged, so the caller must give up.
void* ReserveScratch(void* block, int32_t needed, int32_t* capacity);
