#include "windows/ico_directory.h"

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/reader.h"
#include "frame/sizes.h"
#include "frame/stream_io.h"
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
    uint32_t value = 0;
    entry->dirWidth = record[0];
    entry->dirHeight = record[1];
    entry->colourCount = record[2];
    PeekLE16(record, IcoDirEntrySize, 4, &value);
    entry->planes = value;
    PeekLE16(record, IcoDirEntrySize, 6, &value);
    entry->bitCount = value;
    PeekLE32(record, IcoDirEntrySize, 8, &value);
    entry->dataSize = value;
    PeekLE32(record, IcoDirEntrySize, 12, &value);
    entry->dataOffset = value;
    entry->isTrueColour24 = 0;
}

int32_t ReadIcoDirectory(StreamHandle stream, IcoDirEntry** entries, uint32_t* count) {
    *entries = nullptr;
    *count = 0;
    uint32_t left = StreamBytesLeft(stream);
    if (left < CountSize) return 0;
    uint32_t entryCount = ReadLE16(stream);
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
    WriteLE16(stream, 0);               // reserved
    WriteLE16(stream, IcoResourceIcon);  // type
    WriteLE16(stream, count);           // entry count
    for (uint32_t i = 0; i < count; ++i) {
        const IconImage* image = entries[i].image;
        WriteStreamByte(stream, SideByte(image->width));                // width u8
        WriteStreamByte(stream, SideByte(image->height));               // height u8
        WriteStreamByte(stream, ColourCountByte(entries[i].bitCount));  // colour count u8
        WriteStreamByte(stream, 0);                                     // reserved u8
        WriteLE16(stream, 1);                                           // planes u16
        WriteLE16(stream, static_cast<uint32_t>(entries[i].bitCount));  // bit count u16
        WriteLE32(stream, 0);                                           // data size u32, patched
        WriteLE32(stream, 0);                                           // data offset u32, patched
    }
}

int32_t PatchIcoDirectory(StreamHandle stream, const IcoSavedEntry* entries, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        int32_t field = static_cast<int32_t>(IcoHeaderSize + i * IcoDirEntrySize + IcoDirDataSizeOffset);
        if (SeekStream(stream, field, SeekFromStart) < 0) return 0;
        WriteLE32(stream, entries[i].dataSize);
        WriteLE32(stream, entries[i].dataOffset);
    }
    return 1;
}
