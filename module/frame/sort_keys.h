// Ordering records by a 64-bit key in n log n steps, in place: readers and
// writers sort what a file or a caller lists, whose length they do not choose.
#pragma once

#include <cstdint>

// One record to order: its key, and its position in the caller's list, which
// breaks ties, so records of equal keys keep their order.
struct SortKey {
    uint64_t key;
    uint32_t position;
};

// Orders `keys` by key, then position (a heap sort: no memory, no recursion).
void SortByKey(SortKey* keys, uint32_t count);
