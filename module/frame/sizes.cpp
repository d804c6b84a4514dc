#include "frame/sizes.h"

#include "frame/host.h"

void* AllocArray(uint32_t count, uint32_t size, uint32_t clear, const char* tag) {
    uint32_t bytes = 0;
    if (!MultiplySize(count, size, &bytes)) return nullptr;
    return AllocMemory(bytes, clear, tag);
}
