// ReadWindowsIcon: every directory entry becomes one picture, decoded at the
// size its own data gives; then 24-bit pictures that repeat another
// picture's size are dropped.
#include <cstring>

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/magic.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "frame/sort_keys.h"
#include "model/bit_mask.h"
#include "model/format_io.h"
#include "model/icon_image.h"
#include "windows/bitmap_rows.h"
#include "windows/ico_directory.h"
#include "windows/ico_layout.h"

namespace {

// Where the parts of a bitmap entry lie, from its header, each proved to lie
// within the bytes the file holds from the entry's start.
struct BitmapLayout {
    int32_t width;
    int32_t height;
    int32_t topDown;
    int32_t bitCount;
    uint32_t paletteEntries;
    uint32_t paletteStart;
    uint32_t rowsStart;
    uint32_t rowsBytes;
    uint32_t maskBytes;  // what the file holds of the mask, possibly less than all of it
};

// The `mark` of a picture made from a 24-bit bitmap while the entries are
// read.
constexpr uint32_t TrueColour24Mark = 24;

struct EntryReader {
    StreamHandle stream;
    uint32_t fileLength;
    Scratch scratch;
    IconImage** head;
    IconImage** tail;
    PictureBudget* budget;
};

bool StartsPng(const uint8_t* bytes, uint32_t length) {
    if (length >= MagicBytes && memcmp(bytes, PngSignature, MagicBytes) == 0) return true;
    return length >= PngHeaderChunkTypeOffset + sizeof PngHeaderChunkType &&
           memcmp(bytes + PngHeaderChunkTypeOffset, PngHeaderChunkType, sizeof PngHeaderChunkType) == 0;
}

// The header's height counts the colour rows and the mask rows; negative
// means rows stored top row first. 0 when no picture row is left.
int32_t PictureHeight(uint32_t stored, int32_t* topDown) {
    *topDown = (stored & 0x80000000u) != 0;
    uint32_t magnitude = *topDown ? 0u - stored : stored;  // no signed negation of the minimum
    return static_cast<int32_t>(magnitude / 2);
}

// Checks a bitmap header (`header` holds its first BitmapHeaderSize bytes)
// against the `available` bytes from the entry's start.
int32_t CheckBitmapHeader(const uint8_t* header, uint32_t available, BitmapLayout* layout) {
    uint32_t headerSize = 0, width = 0, height = 0, bitCount = 0, coloursUsed = 0;
    PeekLE32(header, BitmapHeaderSize, 0, &headerSize);
    PeekLE32(header, BitmapHeaderSize, BitmapWidthOffset, &width);
    PeekLE32(header, BitmapHeaderSize, BitmapHeightOffset, &height);
    PeekLE16(header, BitmapHeaderSize, BitmapBitCountOffset, &bitCount);
    PeekLE32(header, BitmapHeaderSize, BitmapColoursUsedOffset, &coloursUsed);

    if (headerSize < BitmapHeaderSize || headerSize > available) return 0;
    layout->width = static_cast<int32_t>(width);
    layout->height = PictureHeight(height, &layout->topDown);
    layout->bitCount = static_cast<int32_t>(bitCount);
    if (layout->width <= 0 || layout->height <= 0 || !IsBitmapBitCount(layout->bitCount)) return 0;

    layout->paletteEntries = 0;
    if (layout->bitCount <= 8)
        layout->paletteEntries = coloursUsed == 0 || coloursUsed > MaxPaletteEntries ? 1u << layout->bitCount
                                                                                     : coloursUsed;
    layout->paletteStart = headerSize;
    LengthBudget left{available - headerSize};
    if (!TakeFromBudget(&left, layout->paletteEntries * PaletteEntrySize)) return 0;
    layout->rowsStart = available - left.bytes;

    uint32_t rowBytes = 0;
    if (!BitmapRowBytes(layout->width, layout->bitCount, &rowBytes) ||
        !MultiplySize(rowBytes, static_cast<uint32_t>(layout->height), &layout->rowsBytes) ||
        !TakeFromBudget(&left, layout->rowsBytes))
        return 0;  // pixel rows cut off by the end of the file

    uint32_t maskBytes = 0;
    layout->maskBytes = 0;
    if (layout->bitCount != 32 &&
        BitMaskByteCount(layout->width, layout->height, BitMaskBottomUpPadded, &maskBytes))
        layout->maskBytes = left.Holds(maskBytes) ? maskBytes : left.bytes;
    return 1;
}

// A PNG entry that runs past the end of the file or does not decode is
// left out.
PictureOutcome ReadPngEntry(EntryReader* reader, const IcoDirEntry* entry, uint32_t available) {
    if (entry->dataSize > available) return PictureLeftOut;
    if (SeekStream(reader->stream, static_cast<int32_t>(entry->dataOffset), SeekFromStart) < 0) return PictureFailed;
    void* data = AllocMemory(entry->dataSize, 0, "pngbuf");
    if (!data) return PictureFailed;
    PictureOutcome outcome = PictureFailed;
    if (ReadExactly(reader->stream, data, entry->dataSize))
        outcome = DecodeImageBlock(reader->budget, data, entry->dataSize, "png", reader->head, reader->tail);
    FreeMemory(data);
    return outcome;
}

void StorePalette(const uint8_t* entries, uint32_t count, uint32_t* palette) {
    for (uint32_t i = 0; i < count; ++i, entries += PaletteEntrySize)
        palette[i] = static_cast<uint32_t>(entries[2]) << 16 | static_cast<uint32_t>(entries[1]) << 8 | entries[0];
}

PictureOutcome ReadBitmapEntry(EntryReader* reader, const IcoDirEntry* entry, const BitmapLayout& layout) {
    uint32_t length = layout.rowsStart + layout.rowsBytes + layout.maskBytes;  // all within `available`
    auto* bytes = static_cast<uint8_t*>(ReserveScratch(&reader->scratch, length));
    if (!bytes) return PictureFailed;
    if (SeekStream(reader->stream, static_cast<int32_t>(entry->dataOffset), SeekFromStart) < 0 ||
        !ReadExactly(reader->stream, bytes, length))
        return PictureFailed;

    int32_t depth = layout.bitCount == 24 ? 32 : layout.bitCount;
    IconImage* mark = *reader->tail;
    IconImage* image =
        AllocIconImage(reader->budget, layout.width, layout.height, depth, -1, 0, reader->head, reader->tail);
    if (!image) return PictureNotMade(reader->budget);
    image->mark = layout.bitCount == 24 ? TrueColour24Mark : 0;
    uint32_t pixelBytes = 0;
    IconImageByteCount(image->width, image->height, image->depth, &pixelBytes);  // proved by the allocation
    if (image->palette) StorePalette(bytes + layout.paletteStart, layout.paletteEntries, image->palette);
    if (!DecodeBitmapRows(bytes + layout.rowsStart, layout.rowsBytes, layout.bitCount, layout.width, layout.height,
                          layout.topDown, image->pixels, pixelBytes))
        return LeaveOutPictures(reader->head, reader->tail, mark);
    // A 32-bit bitmap carries its own alpha; the mask behind it is not read.
    if (layout.bitCount == 32) return PictureMade;
    return ApplyBitMask(bytes + layout.rowsStart + layout.rowsBytes, layout.maskBytes, image, BitMaskBottomUpPadded)
               ? PictureMade
               : PictureFailed;
}

// An entry whose data lie past the end of the file, or whose header or rows
// are damaged, is left out.
PictureOutcome ReadIcoEntry(EntryReader* reader, const IcoDirEntry* entry) {
    uint32_t available = 0;
    if (!CheckIcoDirEntry(*entry, reader->fileLength, &available)) return PictureLeftOut;
    uint8_t header[BitmapHeaderSize];
    uint32_t headerBytes = available < BitmapHeaderSize ? available : BitmapHeaderSize;
    if (SeekStream(reader->stream, static_cast<int32_t>(entry->dataOffset), SeekFromStart) < 0 ||
        !ReadExactly(reader->stream, header, headerBytes))
        return PictureFailed;
    if (StartsPng(header, headerBytes)) return ReadPngEntry(reader, entry, available);

    BitmapLayout layout{};
    if (headerBytes < BitmapHeaderSize || !CheckBitmapHeader(header, available, &layout)) return PictureLeftOut;
    return ReadBitmapEntry(reader, entry, layout);
}

uint64_t SizeKey(const IconImage* image) {
    return static_cast<uint64_t>(static_cast<uint32_t>(image->width)) << 32 | static_cast<uint32_t>(image->height);
}

// Marks in `drop` the 24-bit pictures among the `count` keys of one size
// (sorted, so in list order): with a picture of another depth among them
// every 24-bit one goes; among 24-bit pictures alone all but the last go, as
// when each is dropped in turn while another of its size is still there.
void MarkRepeated24(const SortKey* keys, uint32_t count, const uint8_t* is24, uint8_t* drop) {
    if (count < 2) return;
    bool other = false;
    for (uint32_t i = 0; i < count; ++i) other = other || !is24[keys[i].position];
    const uint32_t kept = other ? count : count - 1;
    for (uint32_t i = 0; i < count; ++i)
        if (i != kept && is24[keys[i].position]) drop[keys[i].position] = 1;
}

// A 24-bit bitmap only stands in for pictures of better depth: it goes when
// another picture has its size. The reader marked the pictures it made from
// 24-bit bitmaps; the marks are cleared again. One sort groups the pictures
// by size, so a directory of any length costs n log n. 0 when memory runs out.
int32_t DropRepeated24(IconRecord* record) {
    uint32_t count = 0;
    for (const IconImage* image = record->images; image; image = image->next) ++count;
    if (count == 0) return 1;
    // Per picture: its key, whether it is 24-bit, whether it goes.
    auto* keys = static_cast<SortKey*>(AllocArray(count, sizeof(SortKey) + 2, 1, "winicon"));
    if (!keys) return 0;
    auto* is24 = reinterpret_cast<uint8_t*>(keys + count);
    uint8_t* drop = is24 + count;
    uint32_t k = 0;
    for (const IconImage* image = record->images; image; image = image->next, ++k) {
        keys[k] = {SizeKey(image), k};
        is24[k] = image->mark == TrueColour24Mark;
    }
    SortByKey(keys, count);
    for (uint32_t first = 0, end = 0; first < count; first = end) {
        for (end = first + 1; end < count && keys[end].key == keys[first].key;) ++end;
        MarkRepeated24(keys + first, end - first, is24, drop);
    }
    IconImage** link = &record->images;
    for (k = 0; IconImage* image = *link; ++k) {
        if (drop[k]) {
            *link = image->next;
            FreeIconImage(image);
        } else {
            image->mark = 0;
            link = &image->next;
        }
    }
    FreeMemory(keys);
    return 1;
}

}  // namespace

int32_t ReadWindowsIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget) {
    int32_t position = StreamPosition(stream);
    if (position < 0) return 0;
    uint32_t fileLength = static_cast<uint32_t>(position) + StreamBytesLeft(stream);

    IcoDirEntry* entries = nullptr;
    uint32_t count = 0;
    if (!ReadIcoDirectory(stream, &entries, &count)) return 0;

    IconImage* tail = record->images;
    while (tail && tail->next) tail = tail->next;
    EntryReader reader{stream, fileLength, {}, &record->images, &tail, budget};
    PictureOutcome outcome = PictureMade;
    uint32_t leftOut = 0;
    // The entries after one the budget left out are not read.
    for (uint32_t k = 0; k < count && outcome != PictureFailed && PictureBudgetLeft(budget); ++k) {
        outcome = ReadIcoEntry(&reader, &entries[k]);
        leftOut += outcome == PictureLeftOut;
    }
    // A directory whose every entry was left out holds no icon.
    int32_t ok = outcome != PictureFailed && (record->images || !leftOut);
    if (ok) ok = DropRepeated24(record);

    ReleaseScratch(&reader.scratch);
    if (entries) FreeMemory(entries);
    return ok;
}
