#include "frame/scratch.h"

#include "frame/host.h"

void* ReserveScratch(Scratch* scratch, uint32_t needed) {
    if (scratch->capacity > needed) return scratch->block;
    ReleaseScratch(scratch);
    scratch->block = AllocMemory(needed, 0, "pbuf");
    if (scratch->block) scratch->capacity = needed;
    return scratch->block;
}

void ReleaseScratch(Scratch* scratch) {
    if (scratch->block) FreeMemory(scratch->block);
    *scratch = Scratch{};
}
