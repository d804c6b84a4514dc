#include "windows/ico_directory.h"

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/reader.h"
#include "frame/sizes.h"
#include "windows/ico_layout.h"

namespace {

constexpr uint32_t CountSize = 2;

// The directory's byte for a picture side: its low 8 bits, so 256 is 0.
int32_t SideByte(int32_t side) { return side & 0xFF; }

int32_t ColourCountByte(int32_t bitCount) {
    if (bitCount == 1) return 2;
    if (bitCount == 4) return 16;
    return 0;  // 8 bits have 256 colours, which the byte cannot say
}

}  // namespace

void ParseIcoDirEntry(const uint8_t* record, IcoDirEntry* entry) {
    PeekLE32(record, IcoDirEntrySize, IcoDirDataSizeOffset, &entry->dataSize);
    PeekLE32(record, IcoDirEntrySize, IcoDirDataSizeOffset + 4, &entry->dataOffset);
}

int32_t CheckIcoDirEntry(const IcoDirEntry& entry, uint32_t fileLength, uint32_t* available) {
    if (entry.dataOffset >= fileLength) return 0;
    *available = fileLength - entry.dataOffset;
    return 1;
}

int32_t ReadIcoDirectory(StreamHandle stream, IcoDirEntry** entries, uint32_t* count) {
    *entries = nullptr;
    *count = 0;
    uint32_t left = StreamBytesLeft(stream);
    uint8_t countBytes[CountSize];
    uint32_t entryCount = 0;
    if (left < CountSize || !ReadExactly(stream, countBytes, CountSize)) return 0;
    PeekLE16(countBytes, CountSize, 0, &entryCount);
    if (entryCount > (left - CountSize) / IcoDirEntrySize) return 0;
    if (entryCount == 0) return 1;

    auto* table = static_cast<IcoDirEntry*>(AllocArray(entryCount, sizeof(IcoDirEntry), 1, "winicon"));
    if (!table) return 0;
    for (uint32_t i = 0; i < entryCount; ++i) {
        uint8_t record[IcoDirEntrySize];
        if (!ReadExactly(stream, record, IcoDirEntrySize)) {
            FreeMemory(table);
            return 0;
        }
        ParseIcoDirEntry(record, &table[i]);
    }
    *entries = table;
    *count = entryCount;
    return 1;
}

void WriteIcoDirectory(StreamHandle stream, const IcoSavedEntry* entries, uint32_t count) {
    uint8_t header[IcoHeaderSize];
    PokeLE16(header, 0);                // reserved u16
    PokeLE16(header + 2, IcoResourceIcon);  // type u16
    PokeLE16(header + 4, count);        // entry count u16
    WriteStream(stream, header, IcoHeaderSize);
    for (uint32_t i = 0; i < count; ++i) {
        const IconImage* image = entries[i].image;
        uint8_t record[IcoDirEntrySize];
        record[0] = static_cast<uint8_t>(SideByte(image->width));                // width u8
        record[1] = static_cast<uint8_t>(SideByte(image->height));               // height u8
        record[2] = static_cast<uint8_t>(ColourCountByte(entries[i].bitCount));  // colour count u8
        record[3] = 0;                                                           // reserved u8
        PokeLE16(record + 4, 1);                                                 // planes u16
        PokeLE16(record + 6, static_cast<uint32_t>(entries[i].bitCount));        // bit count u16
        PokeLE32(record + 8, 0);                                                 // data size u32, patched
        PokeLE32(record + 12, 0);                                                // data offset u32, patched
        WriteStream(stream, record, IcoDirEntrySize);
    }
}

int32_t PatchIcoDirectory(StreamHandle stream, const IcoSavedEntry* entries, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        int32_t field = static_cast<int32_t>(IcoHeaderSize + i * IcoDirEntrySize + IcoDirDataSizeOffset);
        if (SeekStream(stream, field, SeekFromStart) < 0) return 0;
        uint8_t fields[8];
        PokeLE32(fields, entries[i].dataSize);        // data size u32
        PokeLE32(fields + 4, entries[i].dataOffset);  // data offset u32
        WriteStream(stream, fields, 8);
    }
    return 1;
}
