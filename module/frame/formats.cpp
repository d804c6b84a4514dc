#include "frame/formats.h"

#include "frame/crc.h"

uint32_t FormatIds[FormatCount + 1];

uint32_t ComputeFormatId(const char* description) {
    uint32_t crc = UpdateCrcText(0xFFFFFFFFu, "pictra/");
    crc = UpdateCrcText(crc, description);
    return crc ^ 0xFFFFFFFFu;
}

void ComputeFormatIds() {
    for (int32_t i = 0; IconFormats[i].name; ++i) FormatIds[i] = ComputeFormatId(IconFormats[i].description);
}

int32_t FindFormatIndex(uint32_t formatId) {
    if (formatId == 0) return -1;
    for (int32_t i = 0; FormatIds[i] != 0; ++i)
        if (FormatIds[i] == formatId) return i;
    return -1;
}
