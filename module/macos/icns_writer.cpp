// WriteMacIcon: one element per type of the table, in table order, each
// from the first picture of the type's size and depth. Lengths are written
// as 0 first and patched once the element's end is known.
#include <cstring>

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/magic.h"
#include "frame/reader.h"
#include "macos/icns_channels.h"
#include "macos/icns_masks.h"
#include "macos/icns_types.h"
#include "macos/mac_palettes.h"
#include "model/format_io.h"
#include "model/icon_image.h"

namespace {

// The largest "#" type is 48 x 48: one plane of 288 bytes.
constexpr uint32_t MaxPlaneBytes = 48 * 48 / 8;

// The first picture of the list that can be written as `row`.
const IconImage* FindPicture(const IconImage* images, const IcnsTypeRow& row) {
    const int32_t depth = IcnsPictureDepth(row);
    for (const IconImage* image = images; image; image = image->next)
        if (image->width == row.rowWidth && image->height == row.rowHeight && image->depth == depth &&
            image->pixels)
            return image;
    return nullptr;
}

void WriteBytes(StreamHandle stream, const void* bytes, uint32_t length) {
    WriteStream(stream, bytes, static_cast<int32_t>(length));
}

// 1 when the row's size has an 8-bit pens type that the writer stores.
int32_t StoresPens8(const IcnsTypeRow& row) {
    for (const IcnsTypeRow& pens : IcnsTypeTable)
        if (pens.kind == IcnsPens8 && pens.written && pens.rowWidth == row.rowWidth && pens.rowHeight == row.rowHeight)
            return 1;
    return 0;
}

// A picture of at most 4 bits whose pens, the transparent one aside, are
// 0 and 1: a 1-bit picture, or one that a mask widened.
const IconImage* FindTwoPenPicture(const IconImage* images, const IcnsTypeRow& row) {
    for (const IconImage* image = images; image; image = image->next)
        if (image->width == row.rowWidth && image->height == row.rowHeight && image->depth <= 4 && image->pixels &&
            image->palette && ShowsTwoPens(image))
            return image;
    return nullptr;
}

// The picture a "#" type is written from: the 8-bit picture of its size
// when the pens are stored too, else a 1-bit picture of its size.
const IconImage* FindPlanesPicture(const IconImage* images, const IcnsTypeRow& row) {
    const IconImage* pens = StoresPens8(row) ? FindPicture(images, row) : nullptr;
    return pens ? pens : FindTwoPenPicture(images, row);
}

// The mask plane, after an icon plane: for an 8-bit picture the mask again
// (what its pens draw is opaque), for a 1-bit picture its dark pixels.
int32_t WriteTwoPlanes(StreamHandle stream, const IconImage* image) {
    uint8_t mask[MaxPlaneBytes];
    uint8_t icon[MaxPlaneBytes];
    const uint32_t planeBytes = PixelCount(image) / 8;
    if (planeBytes > MaxPlaneBytes) return 0;
    BuildMaskPlane(image, mask, planeBytes);
    if (image->depth == 8)
        memcpy(icon, mask, planeBytes);
    else
        BuildIconPlane(image, icon, planeBytes);
    WriteBytes(stream, icon, planeBytes);
    WriteBytes(stream, mask, planeBytes);
    return 1;
}

// 1 when every pen the picture shows has its colour in the fixed palette;
// the transparent pen's colour is never seen.
int32_t ShowsMacPalette(const IconImage* image) {
    if (!image->palette) return 1;
    const auto* pens = static_cast<const uint8_t*>(image->pixels);
    const uint32_t count = PixelCount(image);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t pen = pens[i];
        if (static_cast<int32_t>(pen) == image->transparentPen) continue;
        if ((image->palette[pen] & 0x00FFFFFFu) != MacPalette256.colours[pen]) return 0;
    }
    return 1;
}

// The pens as the fixed palette reads them: the picture's own when it
// already uses that palette, else its colours mapped onto it by the host,
// the transparent pen kept for the pixels the mask hides.
int32_t WritePens8(StreamHandle stream, const IconImage* image) {
    const uint32_t count = PixelCount(image);
    if (ShowsMacPalette(image)) {
        WriteBytes(stream, image->pixels, count);
        return 1;
    }
    auto* pens = static_cast<uint8_t*>(AllocMemory(count, 0, "tmpbuf"));
    if (!pens) return 0;
    MacPalette target = MacPalette256;
    const int32_t pen = TransparentPenOf(image);
    ConvertJob job{};
    job.width = image->width;
    job.height = image->height;
    job.sourceDepth = 8;
    job.destinationDepth = 8;
    job.sourcePalette = image->palette;
    job.destinationPalette = target.colours;
    job.sourceTransparentPen = pen;
    job.destinationTransparentPen = pen;
    const int32_t mapped = ConvertPixels(image->pixels, pens, &job, ConvertMapToPalette);
    if (mapped) WriteBytes(stream, pens, count);
    FreeMemory(pens);
    return mapped;
}

int32_t WritePackedChannels(StreamHandle stream, const IconImage* image) {
    const uint32_t count = PixelCount(image);
    const uint32_t room = PackedChannelsBound(count);
    auto* packed = static_cast<uint8_t*>(room ? AllocMemory(room, 1, "datatemp") : nullptr);
    if (!packed) return 0;
    const uint32_t length = PackIcnsChannels(static_cast<const uint32_t*>(image->pixels), count, packed, room);
    if (length) WriteBytes(stream, packed, length);
    FreeMemory(packed);
    return length != 0;
}

int32_t WriteAlpha8(StreamHandle stream, const IconImage* image) {
    const uint32_t count = PixelCount(image);
    auto* alpha = static_cast<uint8_t*>(AllocMemory(count, 0, "tmpbuf"));
    if (!alpha) return 0;
    ExtractAlpha(image, alpha, count);
    WriteBytes(stream, alpha, count);
    FreeMemory(alpha);
    return 1;
}

int32_t WriteElementData(StreamHandle stream, const IcnsTypeRow& row, const IconImage* image) {
    switch (row.kind) {
        case IcnsTwoPlanes: return WriteTwoPlanes(stream, image);
        case IcnsPens8: return WritePens8(stream, image);
        case IcnsPackedChannels: return WritePackedChannels(stream, image);
        case IcnsAlpha8: return WriteAlpha8(stream, image);
        case IcnsImageFile: return WritePngImage(stream, image);
        default: return 0;
    }
}

// The file and each element start with a type code and a u32 length that
// counts the header itself.
void WriteHeader(StreamHandle stream, uint32_t type) {
    uint8_t header[IcnsHeaderBytes];
    PokeBE32(header, type);   // u32 type code
    PokeBE32(header + 4, 0);  // u32 length, patched once the end is known
    WriteBytes(stream, header, IcnsHeaderBytes);
}

// Writes the length of what runs from `start` to `end` into its header and
// returns to the end. A stream that cannot go back fails the save: the
// length would otherwise land after the end.
int32_t PatchLength(StreamHandle stream, int32_t start, int32_t end) {
    uint8_t length[4];
    PokeBE32(length, static_cast<uint32_t>(end - start));
    if (SeekStream(stream, start + 4, SeekFromStart) < 0) return 0;
    WriteBytes(stream, length, 4);
    return SeekStream(stream, end, SeekFromStart) >= 0;
}

// Writes the header with a zero length, the data, then the length.
int32_t WriteElement(StreamHandle stream, const IcnsTypeRow& row, const IconImage* image) {
    const int32_t start = StreamPosition(stream);
    if (start < 0) return 0;
    WriteHeader(stream, row.typeCode);  // type code, 4 characters; length, patched below
    if (!WriteElementData(stream, row, image)) return 0;
    const int32_t end = StreamPosition(stream);
    if (end < start) return 0;
    return PatchLength(stream, start, end);
}

}  // namespace

int32_t WriteMacIcon(StreamHandle stream, IconImage* images) {
    WriteHeader(stream, MagicMacIcon);  // total length, patched at the end
    for (const IcnsTypeRow& row : IcnsTypeTable) {
        if (!row.written) continue;
        const IconImage* image = row.kind == IcnsTwoPlanes ? FindPlanesPicture(images, row) : FindPicture(images, row);
        if (image && !WriteElement(stream, row, image)) return 0;
    }
    const int32_t total = StreamPosition(stream);
    // Nothing of a size and depth the format stores: no icon.
    if (total <= static_cast<int32_t>(IcnsHeaderBytes)) return 0;
    return PatchLength(stream, 0, total);
}
