// WriteWindowsIcon: palette pictures and small true-colour pictures become
// bitmaps with an AND mask, wide true-colour pictures PNG files when asked
// to compress. Entries run by bit count (1, 4, 8, 32), widest first; the
// order lives in the writer's own table, so the caller's pictures are only
// read.
#include <cstring>

#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "frame/stream_io.h"
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

// Entries in their file order: by bit count, then widest first, list order
// kept among equals (insertion sort: icons hold a handful of pictures).
void SortEntries(IcoSavedEntry* entries, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i) {
        IcoSavedEntry entry = entries[i];
        uint32_t j = i;
        for (; j > 0; --j) {
            const IcoSavedEntry& before = entries[j - 1];
            bool after = before.bitCount < entry.bitCount ||
                         (before.bitCount == entry.bitCount && before.image->width >= entry.image->width);
            if (after) break;
            entries[j] = before;
        }
        entries[j] = entry;
    }
}

uint32_t CollectEntries(IconImage* images, IcoSavedEntry* entries) {
    uint32_t count = 0;
    for (const IconImage* image = images; image; image = image->next) {
        int32_t bitCount = StoredBitCount(image);
        if (bitCount) entries[count++] = IcoSavedEntry{image, bitCount, 0, 0};
    }
    SortEntries(entries, count);
    return count;
}

// The 40-byte header and, for palette bit counts, the palette with the
// transparent pen black, so the colour bitmap adds nothing where the mask
// lets the background through.
uint32_t PutBitmapHeader(const IcoSavedEntry& entry, uint8_t* out) {
    const IconImage* image = entry.image;
    uint32_t colours = entry.bitCount <= 8 ? 1u << entry.bitCount : 0;
    uint32_t fields[] = {BitmapHeaderSize, static_cast<uint32_t>(image->width),
                         2 * static_cast<uint32_t>(image->height)};
    uint8_t* at = out;
    for (uint32_t value : fields)
        for (int shift = 0; shift < 32; shift += 8) *at++ = static_cast<uint8_t>(value >> shift);
    *at++ = 1;  // planes u16
    *at++ = 0;
    *at++ = static_cast<uint8_t>(entry.bitCount);  // bit count u16
    *at++ = 0;
    memset(at, 0, 16);  // compression, image size, two resolutions
    at += 16;
    for (int shift = 0; shift < 32; shift += 8) *at++ = static_cast<uint8_t>(colours >> shift);  // colours used
    memset(at, 0, 4);  // colours important
    at += 4;
    for (uint32_t pen = 0; pen < colours; ++pen, at += PaletteEntrySize) {
        uint32_t colour = static_cast<int32_t>(pen) == image->transparentPen ? 0 : image->palette[pen];
        at[0] = static_cast<uint8_t>(colour);        // blue
        at[1] = static_cast<uint8_t>(colour >> 8);   // green
        at[2] = static_cast<uint8_t>(colour >> 16);  // red
        at[3] = 0;
    }
    return static_cast<uint32_t>(at - out);
}

// The whole bitmap of one entry, built in scratch memory and written at once.
int32_t WriteBitmapEntry(StreamHandle stream, const IcoSavedEntry& entry, void** scratch, int32_t* capacity) {
    const IconImage* image = entry.image;
    uint32_t rowBytes = 0, rows = 0, mask = 0;
    // Sides are at most 256, so none of these sums can overflow.
    BitmapRowBytes(image->width, entry.bitCount, &rowBytes);
    rows = rowBytes * static_cast<uint32_t>(image->height);
    BitMaskByteCount(image->width, image->height, BitMaskBottomUpPadded, &mask);
    uint32_t palette = entry.bitCount <= 8 ? (1u << entry.bitCount) * PaletteEntrySize : 0;
    uint32_t total = BitmapHeaderSize + palette + rows + mask;

    *scratch = ReserveScratch(*scratch, static_cast<int32_t>(total), capacity);
    if (!*scratch) return 0;
    auto* out = static_cast<uint8_t*>(*scratch);
    uint32_t at = PutBitmapHeader(entry, out);
    at += EncodeBitmapRows(image, entry.bitCount, out + at, total - at);
    at += EncodeBitMask(image, BitMaskBottomUpPadded, out + at, total - at);
    if (at != total) return 0;
    WriteStream(stream, out, static_cast<int32_t>(total));
    return 1;
}

int32_t WriteEntryData(StreamHandle stream, IcoSavedEntry* entry, int32_t compress, void** scratch,
                       int32_t* capacity) {
    int32_t start = StreamPosition(stream);
    if (start < 0) return 0;
    bool png = compress && entry->bitCount == 32 && entry->image->width >= SmallestPngWidth;
    int32_t ok = png ? WritePngImage(stream, entry->image) : WriteBitmapEntry(stream, *entry, scratch, capacity);
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
    if (!entries) return 0;
    uint32_t count = CollectEntries(images, entries);

    int32_t ok = count > 0 && count <= IcoMaxEntries;
    void* scratch = nullptr;
    int32_t capacity = 0;
    if (ok) WriteIcoDirectory(stream, entries, count);
    for (uint32_t k = 0; k < count && ok; ++k) ok = WriteEntryData(stream, &entries[k], compress, &scratch, &capacity);
    if (ok) ok = PatchIcoDirectory(stream, entries, count);

    if (scratch) FreeMemory(scratch);
    FreeMemory(entries);
    return ok;
}
