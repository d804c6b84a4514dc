// Building a FORM ICON in memory: FACE, then one IMAG or ARGB chunk for the
// normal picture and one for its selected partner. Every size is known once
// the chunk is complete; the sizes are patched in the block, and nothing
// reaches the file until the whole FORM exists.
#include <cstring>

#include "amiga_form/form_chunks.h"
#include "amiga_form/icon_form.h"
#include "amiga_form/run_length.h"
#include "frame/bytes.h"
#include "frame/formats.h"
#include "frame/host.h"
#include "frame/scratch.h"
#include "frame/sizes.h"
#include "model/icon_image.h"

namespace {

constexpr uint32_t MaxPaletteDepth = 8;
constexpr uint32_t PadByte = 1;

// Starts a chunk: its identifier and a size placeholder. Returns the offset
// of the placeholder.
uint32_t BeginChunk(ByteSink* sink, uint32_t id) {
    PutBE32(sink, id);
    uint32_t sizeAt = sink->used;
    PutBE32(sink, 0);
    return sizeAt;
}

// Fills in the size of the chunk whose placeholder is at `sizeAt` (the bytes
// after it up to here) and pads an odd chunk with a zero byte. The capacity
// is computed for the worst case before anything is put, so a full sink
// here only guards against a mistake in that computation.
int32_t PatchChunkSize(ByteSink* sink, uint32_t sizeAt) {
    if (sink->full || sizeAt + 4 > sink->used) return 0;
    uint32_t size = sink->used - sizeAt - 4;
    PokeBE32(sink->data + sizeAt, size);
    if (size & 1) PutByte(sink, 0);
    return !sink->full;
}

bool FitsFace(const IconImage* image) {
    return image->width >= 1 && image->height >= 1 && static_cast<uint32_t>(image->width) <= form::MaxSide &&
           static_cast<uint32_t>(image->height) <= form::MaxSide && image->pixels;
}

bool IsPalettePicture(const IconImage* image) {
    return image->depth >= 1 && static_cast<uint32_t>(image->depth) <= MaxPaletteDepth && image->palette;
}

bool IsTrueColour(const IconImage* image) { return image->depth == 32; }

bool SameKind(const IconImage* a, const IconImage* b, int32_t formatIndex) {
    if (formatIndex == FormatAmigaOS35) return IsPalettePicture(a) && IsPalettePicture(b);
    return IsTrueColour(a) && IsTrueColour(b);
}

// The depth stored for a palette picture: its own, raised until every pen
// it uses fits, so that packing never cuts a pen short.
uint32_t DepthForPens(const IconImage* image) {
    return DepthForPen(HighestPen(static_cast<const uint8_t*>(image->pixels), PixelCount(image)),
                       static_cast<uint32_t>(image->depth));
}

// zlib's worst case for `length` bytes (its compressBound rule).
int32_t CompressRoom(uint32_t length, uint32_t* room) {
    uint32_t extra = (length >> 12) + (length >> 14) + (length >> 25) + 13;
    if (length > UINT32_MAX - extra) return 0;
    *room = length + extra;
    return 1;
}

// One IMAG picture as it will be stored.
struct ImagPlan {
    const IconImage* image;
    uint32_t depth;
    bool withPalette;
};

// Packs `count` values into the buffer when that pays and `compress` asks
// for it, else stores them raw. Returns the format byte, or -1 when the
// buffer has no room.
int32_t PutImagData(ByteSink* sink, const uint8_t* values, uint32_t count, uint32_t depth, int32_t compress,
                    uint32_t* length) {
    if (sink->full || count > sink->room - sink->used) return -1;
    uint8_t* at = sink->data + sink->used;
    // The packed form gets the raw size as room: packing that does not pay
    // runs out of it and the values go raw.
    if (compress && EncodeRunLength(values, count, at, count, depth, length)) {
        ClaimBytes(sink, *length);
        return form::FormatPacked;
    }
    PutBytes(sink, values, count);
    *length = count;
    return form::FormatRaw;
}

int32_t PutImag(ByteSink* sink, const ImagPlan& plan, int32_t compress) {
    const IconImage* image = plan.image;
    uint32_t sizeAt = BeginChunk(sink, form::IdImag);
    uint8_t* header = ClaimBytes(sink, form::ImagHeaderBytes);
    if (!header) return 0;
    const int32_t pen = TransparentPenOf(image);
    uint32_t imageLength = 0;
    int32_t imageFormat =
        PutImagData(sink, static_cast<const uint8_t*>(image->pixels), PixelCount(image), plan.depth, compress,
                    &imageLength);
    if (imageFormat < 0) return 0;

    uint32_t paletteLength = 0;
    int32_t paletteFormat = compress ? form::FormatPacked : form::FormatRaw;
    if (plan.withPalette) {
        uint8_t rgb[form::MaxPaletteBytes];
        uint32_t colours = 1u << plan.depth;
        WordsToRgb(image->palette, colours, rgb);
        paletteFormat = PutImagData(sink, rgb, colours * 3, form::PaletteDepth, compress, &paletteLength);
        if (paletteFormat < 0) return 0;
    }

    header[0] = pen >= 0 ? static_cast<uint8_t>(pen) : 0;                  // transparent pen
    header[1] = static_cast<uint8_t>((1u << plan.depth) - 1);               // colours - 1
    header[2] = static_cast<uint8_t>((pen >= 0 ? form::ImagHasTransparentPen : 0) |
                                     (plan.withPalette ? form::ImagHasPalette : 0));  // flags
    header[3] = static_cast<uint8_t>(imageFormat);                                   // image format
    header[4] = static_cast<uint8_t>(paletteFormat);                                 // palette format
    header[5] = static_cast<uint8_t>(plan.depth);                                    // depth
    PokeBE16(header + 6, imageLength - 1);                                // u16 image bytes - 1
    PokeBE16(header + 8, paletteLength ? paletteLength - 1 : 0);         // u16 palette bytes - 1
    return PatchChunkSize(sink, sizeAt);
}

int32_t PutArgb(ByteSink* sink, const IconImage* image, Scratch* scratch) {
    uint32_t count = PixelCount(image);
    uint32_t bytes = count * form::ArgbBytesPerPixel;  // at most 256 * 256 * 4
    auto* argb = static_cast<uint8_t*>(ReserveScratch(scratch, bytes));
    if (!argb) return 0;
    // Memory holds native words; the chunk holds the bytes A, R, G, B on
    // every machine.
    const auto* words = static_cast<const uint32_t*>(image->pixels);
    for (uint32_t i = 0; i < count; ++i) PokeBE32(argb + 4 * i, words[i]);

    uint32_t sizeAt = BeginChunk(sink, form::IdArgb);
    PutBE32(sink, 1);  // u32 1
    uint32_t lengthAt = sink->used;
    PutBE32(sink, 0);  // u32 compressed bytes - 1, patched below
    PutBE16(sink, 0);  // u16 0
    uint32_t room = 0;
    if (sink->full || !CompressRoom(bytes, &room) || room > sink->room - sink->used) return 0;
    if (CompressBlock(sink->data + sink->used, &room, argb, bytes) != 0 || room == 0) return 0;
    PokeBE32(sink->data + lengthAt, room - 1);
    ClaimBytes(sink, room);
    return PatchChunkSize(sink, sizeAt);
}

void PutFace(ByteSink* sink, const IconImage* normal, uint8_t flags, uint32_t paletteBytes) {
    uint32_t sizeAt = BeginChunk(sink, form::IdFace);
    PutByte(sink, static_cast<uint32_t>(normal->width - 1));   // width - 1
    PutByte(sink, static_cast<uint32_t>(normal->height - 1));  // height - 1
    PutByte(sink, flags);                                      // flags
    PutByte(sink, 0);                                          // aspect
    PutBE16(sink, paletteBytes - 1);                           // u16 palette bytes - 1
    PatchChunkSize(sink, sizeAt);
}

// The most bytes one picture's chunk can take, pad byte included.
int32_t ChunkRoom(int32_t formatIndex, const IconImage* image, uint32_t* room) {
    uint32_t data = 0;
    if (formatIndex == FormatAmigaOS35) {
        data = PixelCount(image) + form::MaxPaletteBytes;
    } else if (!CompressRoom(PixelCount(image) * form::ArgbBytesPerPixel, &data)) {
        return 0;
    }
    *room = form::ChunkHeaderBytes + form::ImagHeaderBytes + data + PadByte;
    return 1;
}

int32_t PutPictures(ByteSink* sink, int32_t formatIndex, const IconImage* normal, const IconImage* selected,
                    int32_t compress) {
    if (formatIndex == FormatAmigaOS40) {
        PutFace(sink, normal, form::FaceFlagsTrueColour, 2);
        Scratch scratch{};
        int32_t ok = PutArgb(sink, normal, &scratch);
        if (ok && selected) ok = PutArgb(sink, selected, &scratch);
        ReleaseScratch(&scratch);
        return ok;
    }
    ImagPlan plans[2] = {{normal, DepthForPens(normal), true}, {selected, 0, false}};
    uint32_t deepest = plans[0].depth;
    if (selected) {
        plans[1].depth = DepthForPens(selected);
        // The reader gives a picture without colours those of the first
        // IMAG, which stores only as many as its own depth needs.
        plans[1].withPalette = plans[1].depth > plans[0].depth ||
                               memcmp(selected->palette, normal->palette, 256 * sizeof(uint32_t)) != 0;
        if (plans[1].depth > deepest) deepest = plans[1].depth;
    }
    PutFace(sink, normal, form::FaceFlagsPalette, 3u << deepest);
    if (!PutImag(sink, plans[0], compress)) return 0;
    return !selected || PutImag(sink, plans[1], compress);
}

}  // namespace

int32_t BuildIconForm(IconFormBytes* result, int32_t formatIndex, const IconImage* normal,
                      const IconImage* selected, int32_t compress) {
    *result = IconFormBytes{};
    if (formatIndex != FormatAmigaOS35 && formatIndex != FormatAmigaOS40) return 0;
    if (!normal || !FitsFace(normal) || !SameKind(normal, normal, formatIndex)) return 0;
    // FACE holds one size for both pictures: a partner that differs is left out.
    if (selected && (!selected->pixels || selected->width != normal->width || selected->height != normal->height ||
                     !SameKind(normal, selected, formatIndex)))
        selected = nullptr;

    uint32_t room = 0;
    uint32_t capacity = form::FormHeaderBytes + form::ChunkHeaderBytes + form::FaceBytes;
    if (!ChunkRoom(formatIndex, normal, &room)) return 0;
    capacity += room;
    if (selected) capacity += room;  // the same size, so the same room
    ByteSink sink{static_cast<uint8_t*>(AllocMemory(capacity, 0, "rlebuf")), capacity, 0, false};
    if (!sink.data) return 0;

    PutBE32(&sink, form::IdForm);
    PutBE32(&sink, 0);  // u32 FORM size, patched at the end
    PutBE32(&sink, form::IdIcon);
    if (!PutPictures(&sink, formatIndex, normal, selected, compress) || !PatchChunkSize(&sink, 4)) {
        FreeMemory(sink.data);
        return 0;
    }
    result->data = sink.data;
    result->size = sink.used;
    return 1;
}

void ReleaseIconForm(IconFormBytes* form) {
    if (form->data) FreeMemory(form->data);
    *form = IconFormBytes{};
}

void WriteIconFormBytes(StreamHandle stream, const IconFormBytes* form) {
    if (form->data && form->size <= static_cast<uint32_t>(INT32_MAX))
        WriteStream(stream, form->data, static_cast<int32_t>(form->size));
}
