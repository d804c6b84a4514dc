// WriteWindowsIcon: palette pictures and small true-colour pictures become
// bitmaps with an AND mask, wide true-colour pictures PNG files when asked
// to compress. Entries run by bit count (1, 4, 8, 32), widest first; the
// order lives in the writer's own table, so the caller's pictures are only
// read.
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "frame/sort_keys.h"
#include "model/bit_mask.h"
#include "model/format_io.h"
#include "windows/bitmap_rows.h"
#include "windows/ico_directory.h"
#include "windows/ico_layout.h"

namespace {

constexpr int32_t SmallestPngWidth = 128;

// The bit count a picture is stored with: palette depths round up to the
// next of 1, 4 and 8; 32-bit pictures stay; 0 leaves the picture out (other
// depths, and sides the directory's bytes cannot say).
int32_t StoredBitCount(const IconImage* image) {
    if (image->width < 1 || image->width > IcoMaxSide || image->height < 1 || image->height > IcoMaxSide)
        return 0;
    if (!image->pixels) return 0;
    if (image->depth == 32) return 32;
    if (image->depth < 1 || image->depth > 8 || !image->palette) return 0;
    if (image->depth == 1) return 1;
    return image->depth <= 4 ? 4 : 8;
}

// The entries of the pictures stored, in their file order: by bit count,
// then widest first, list order kept among equals. `keys` has room for one
// key per picture. Returns the count.
uint32_t CollectEntries(IconImage* images, IcoSavedEntry* entries, SortKey* keys) {
    uint32_t count = 0;
    for (const IconImage* image = images; image; image = image->next) {
        int32_t bitCount = StoredBitCount(image);
        if (!bitCount) continue;
        // Sides are 1 to IcoMaxSide here: the wider picture gets the smaller key.
        keys[count] = {static_cast<uint64_t>(bitCount) << 32 | static_cast<uint32_t>(IcoMaxSide - image->width),
                       count};
        entries[count++] = IcoSavedEntry{image, bitCount, 0, 0};
    }
    SortByKey(keys, count);
    // Each entry moves along the cycle of places it belongs to.
    for (uint32_t k = 0; k < count; ++k) {
        if (keys[k].position == k) continue;
        const IcoSavedEntry held = entries[k];
        uint32_t at = k;
        while (keys[at].position != k) {
            const uint32_t from = keys[at].position;
            entries[at] = entries[from];
            keys[at].position = at;
            at = from;
        }
        entries[at] = held;
        keys[at].position = at;
    }
    return count;
}

// The 40-byte header and, for palette bit counts, the palette with the
// transparent pen black, so the colour bitmap adds nothing where the mask
// lets the background through.
void PutBitmapHeader(ByteSink* sink, const IcoSavedEntry& entry) {
    const IconImage* image = entry.image;
    uint32_t colours = entry.bitCount <= 8 ? 1u << entry.bitCount : 0;
    PutLE32(sink, BitmapHeaderSize);                           // header size u32
    PutLE32(sink, static_cast<uint32_t>(image->width));        // width i32
    PutLE32(sink, 2 * static_cast<uint32_t>(image->height));   // height i32: colour rows and mask rows
    PutLE16(sink, 1);                                          // planes u16
    PutLE16(sink, static_cast<uint32_t>(entry.bitCount));      // bit count u16
    PutLE32(sink, 0);                                          // compression u32
    PutLE32(sink, 0);                                          // image size u32
    PutLE32(sink, 0);                                          // horizontal resolution u32
    PutLE32(sink, 0);                                          // vertical resolution u32
    PutLE32(sink, colours);                                    // colours used u32
    PutLE32(sink, 0);                                          // colours important u32
    // An entry is blue, green, red, 0: the little-endian form of 0x00RRGGBB.
    for (uint32_t pen = 0; pen < colours; ++pen)
        PutLE32(sink, static_cast<int32_t>(pen) == image->transparentPen ? 0 : image->palette[pen] & 0xFFFFFF);
}

// The whole bitmap of one entry, built in scratch memory and written at once.
int32_t WriteBitmapEntry(StreamHandle stream, const IcoSavedEntry& entry, Scratch* scratch) {
    const IconImage* image = entry.image;
    uint32_t rowBytes = 0, rows = 0, mask = 0;
    // Sides are at most 256, so none of these sums can overflow.
    BitmapRowBytes(image->width, entry.bitCount, &rowBytes);
    rows = rowBytes * static_cast<uint32_t>(image->height);
    BitMaskByteCount(image->width, image->height, BitMaskBottomUpPadded, &mask);
    uint32_t palette = entry.bitCount <= 8 ? (1u << entry.bitCount) * PaletteEntrySize : 0;
    uint32_t total = BitmapHeaderSize + palette + rows + mask;

    ByteSink sink{static_cast<uint8_t*>(ReserveScratch(scratch, total)), total, 0, false};
    if (!sink.data) return 0;
    PutBitmapHeader(&sink, entry);
    uint8_t* rowsAt = ClaimBytes(&sink, rows);
    uint8_t* maskAt = ClaimBytes(&sink, mask);
    if (!rowsAt || !maskAt || sink.used != total || EncodeBitmapRows(image, entry.bitCount, rowsAt, rows) != rows ||
        EncodeBitMask(image, BitMaskBottomUpPadded, maskAt, mask) != mask)
        return 0;
    WriteStream(stream, sink.data, static_cast<int32_t>(total));
    return 1;
}

int32_t WriteEntryData(StreamHandle stream, IcoSavedEntry* entry, int32_t compress, Scratch* scratch) {
    int32_t start = StreamPosition(stream);
    if (start < 0) return 0;
    bool png = compress && entry->bitCount == 32 && entry->image->width >= SmallestPngWidth;
    int32_t ok = png ? WritePngImage(stream, entry->image) : WriteBitmapEntry(stream, *entry, scratch);
    int32_t end = StreamPosition(stream);
    if (!ok || end < start) return 0;
    entry->dataOffset = static_cast<uint32_t>(start);
    entry->dataSize = static_cast<uint32_t>(end - start);
    return 1;
}

}  // namespace

int32_t WriteWindowsIcon(StreamHandle stream, IconImage* images, int32_t compress) {
    uint32_t listed = 0;
    for (const IconImage* image = images; image; image = image->next) ++listed;
    if (listed == 0) return 0;
    auto* entries = static_cast<IcoSavedEntry*>(AllocArray(listed, sizeof(IcoSavedEntry), 1, "icondir"));
    auto* keys = static_cast<SortKey*>(AllocArray(listed, sizeof(SortKey), 0, "icondir"));
    uint32_t count = entries && keys ? CollectEntries(images, entries, keys) : 0;
    if (keys) FreeMemory(keys);
    if (!entries) return 0;

    int32_t ok = count > 0 && count <= IcoMaxEntries;
    Scratch scratch{};
    if (ok) WriteIcoDirectory(stream, entries, count);
    for (uint32_t k = 0; k < count && ok; ++k) ok = WriteEntryData(stream, &entries[k], compress, &scratch);
    if (ok) ok = PatchIcoDirectory(stream, entries, count);

    ReleaseScratch(&scratch);
    FreeMemory(entries);
    return ok;
}
