#include "frame/scratch.h"

#include "frame/host.h"

void* ReserveScratch(void* block, int32_t needed, int32_t* capacity) {
    if (*capacity > needed) return block;
    if (block) FreeMemory(block);
    // Only a corrupt (negative) capacity lets a negative need get here; treat
    // it as a failed allocation rather than a 4 GiB request.
    if (needed < 0) return nullptr;
    void* fresh = AllocMemory(static_cast<uint32_t>(needed), 0, "pbuf");
    if (fresh) *capacity = needed;
    return fresh;
}
