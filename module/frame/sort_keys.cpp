#include "frame/sort_keys.h"

namespace {

bool Before(const SortKey& a, const SortKey& b) {
    return a.key != b.key ? a.key < b.key : a.position < b.position;
}

// Moves keys[root] down until neither child of the first `count` keys
// comes after it.
void SiftDown(SortKey* keys, uint32_t root, uint32_t count) {
    // A root below count / 2 has a first child 2 * root + 1 < count, so the
    // child index cannot wrap.
    while (root < count / 2) {
        uint32_t child = 2 * root + 1;
        if (child + 1 < count && Before(keys[child], keys[child + 1])) ++child;
        if (!Before(keys[root], keys[child])) return;
        const SortKey held = keys[root];
        keys[root] = keys[child];
        keys[child] = held;
        root = child;
    }
}

}  // namespace

void SortByKey(SortKey* keys, uint32_t count) {
    if (count < 2) return;
    for (uint32_t root = count / 2; root-- > 0;) SiftDown(keys, root, count);
    for (uint32_t end = count - 1; end > 0; --end) {
        const SortKey largest = keys[0];
        keys[0] = keys[end];
        keys[end] = largest;
        SiftDown(keys, 0, end);
    }
}
