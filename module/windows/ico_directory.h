// The directory of a Windows icon: one 16-byte record per picture after the
// 6-byte file header.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// The reader's copy of one directory record: only the data size and offset
// steer reading. A picture's size and depth come from its own data, since
// real files list bit counts of 0 and sizes that disagree with the data.
struct IcoDirEntry {
    uint32_t dataSize;
    uint32_t dataOffset;
};

// Reads the entry count and the directory from the stream, positioned just
// after the reserved word and the type. The table (memory tag "winicon",
// released by the caller with FreeMemory) is null for an empty directory. 0
// when the file cannot hold the count or all its records, before anything is
// allocated for them, or when the table cannot be allocated.
int32_t ReadIcoDirectory(StreamHandle stream, IcoDirEntry** entries, uint32_t* count);

// Fills `entry` from a 16-byte directory record.
void ParseIcoDirEntry(const uint8_t* record, IcoDirEntry* entry);

// Checks an entry against a file of `fileLength` bytes: its data must start
// inside the file. Writes the bytes from there to the end of the file, which
// bound the entry's data. Only PNG data is held to the listed size as well
// (the reader does so once it knows): bitmaps in real files list sizes that
// disagree with their data.
int32_t CheckIcoDirEntry(const IcoDirEntry& entry, uint32_t fileLength, uint32_t* available);

// The writer's record of one picture it stores.
struct IcoSavedEntry {
    const IconImage* image;
    int32_t bitCount;  // 1, 4, 8 or 32
    uint32_t dataSize;
    uint32_t dataOffset;
};

// Writes the file header for `count` entries and their directory records
// with data sizes and offsets still 0.
void WriteIcoDirectory(StreamHandle stream, const IcoSavedEntry* entries, uint32_t count);

// Fills in the data sizes and offsets of the records WriteIcoDirectory
// wrote. 1 on success, 0 when the stream cannot seek back.
int32_t PatchIcoDirectory(StreamHandle stream, const IcoSavedEntry* entries, uint32_t count);
