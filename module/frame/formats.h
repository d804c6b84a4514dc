// The seven icon formats: their fixed table and the identifiers computed
// from it at start-up. A row's position is the format index every other part
// of the module uses.
#pragma once

#include <cstdint>

struct IconFormat {
    const char* name;
    const char* description;
    const char* extension;
};

enum FormatIndex : int32_t {
    FormatAmigaOS = 0,
    FormatNewIcon = 1,
    FormatAmigaOS35 = 2,
    FormatAmigaOS40 = 3,
    FormatPng = 4,
    FormatWindows = 5,
    FormatMacOS = 6,
    FormatCount = 7
};

// Ended by a row whose name is null.
inline constexpr IconFormat IconFormats[FormatCount + 1] = {
    {"AMIGAOS", "Amiga icon", "info"},
    {"NEWICON", "NewIcon", "info"},
    {"AMIGAOS35", "AmigaOS 3.5 icon", "info"},
    {"AMIGAOS40", "AmigaOS 4.0 icon", "info"},
    {"PNG", "PNG icon", "info"},
    {"WINDOWS", "Windows icon", "ico"},
    {"MACOS", "macOS icon", "icns"},
    {nullptr, nullptr, nullptr},
};

// One FormatId per format index, then a terminating 0. All zero until
// InitPlugin runs with host services; written only there.
extern uint32_t FormatIds[FormatCount + 1];

// CRC-32 of "pictra/" followed by the description: the identifier the host
// and the callers of SaveIcon know a format by. Needs the CRC table.
uint32_t ComputeFormatId(const char* description);

// Fills FormatIds from the table, in table order.
void ComputeFormatIds();

// The index whose FormatId is `formatId`, or -1. Zero is never an identifier.
int32_t FindFormatIndex(uint32_t formatId);
