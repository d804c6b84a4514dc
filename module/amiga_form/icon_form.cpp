// Reading a FORM ICON: FACE gives the size of every picture that follows,
// IMAG chunks become palette pictures, ARGB chunks 32-bit pictures.
#include "amiga_form/icon_form.h"

#include <cstring>

#include "amiga_form/form_chunks.h"
#include "amiga_form/run_length.h"
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "model/icon_image.h"

namespace {

constexpr uint32_t PaletteEntries = 256;

struct FormWalk {
    StreamHandle stream;
    AmigaReadState* state;
    LengthBudget left;           // bytes of the FORM not yet walked
    int32_t width;               // from FACE; 0 until one is seen
    int32_t height;
    const IconImage* firstImag;  // its palette serves the IMAG chunks that carry none
    const IconImage* firstArgb;
};

// The IMAG header, as read from the chunk data.
struct ImagHeader {
    int32_t transparentPen;  // -1 when the flag says there is none
    uint32_t colours;
    uint8_t flags;
    uint8_t imageFormat;
    uint8_t paletteFormat;
    uint32_t depth;
    uint32_t imageBytes;
    uint32_t paletteBytes;  // 0 when no palette is present
};

// Reads the whole chunk data into the shared scratch block.
const uint8_t* ReadChunkData(FormWalk* walk, uint32_t size) {
    void* block = ReserveScratch(&walk->state->scratch, size);
    return block && ReadExactly(walk->stream, block, size) ? static_cast<const uint8_t*>(block) : nullptr;
}

// Passes over a chunk whose picture is left out.
PictureOutcome PassOver(FormWalk* walk, uint32_t size) {
    return SkipForward(walk->stream, size) ? PictureLeftOut : PictureFailed;
}

// A FACE too short to hold a size is passed over: the pictures after it
// then have no size and are left out, unless an earlier FACE gave one.
PictureOutcome ReadFace(FormWalk* walk, uint32_t size) {
    if (size < form::FaceBytes) return PassOver(walk, size);
    uint8_t face[form::FaceBytes];
    if (!ReadExactly(walk->stream, face, form::FaceBytes)) return PictureFailed;
    walk->width = face[0] + 1;
    walk->height = face[1] + 1;
    return SkipForward(walk->stream, size - form::FaceBytes) ? PictureMade : PictureFailed;
}

// Parses and checks the header: a known depth and formats, and both data
// blocks inside the chunk.
int32_t CheckImagHeader(const uint8_t* data, uint32_t size, ImagHeader* header) {
    uint32_t imageField = 0;
    uint32_t paletteField = 0;
    if (!PeekBE16(data, size, 6, &imageField) || !PeekBE16(data, size, 8, &paletteField)) return 0;
    header->flags = data[2];
    header->transparentPen = (header->flags & form::ImagHasTransparentPen) ? data[0] : -1;
    header->colours = data[1] + 1u;
    header->imageFormat = data[3];
    header->paletteFormat = data[4];
    header->depth = data[5];
    header->imageBytes = imageField + 1;
    header->paletteBytes = (header->flags & form::ImagHasPalette) ? paletteField + 1 : 0;
    if (header->depth < 1 || header->depth > 8) return 0;
    if (header->imageFormat > form::FormatPacked) return 0;
    if (header->paletteBytes && header->paletteFormat > form::FormatPacked) return 0;
    // Both sizes are at most 65536, so the sum cannot wrap.
    return header->imageBytes + header->paletteBytes <= size - form::ImagHeaderBytes;
}

// Pixels cut short stay 0: the picture's storage is cleared.
void DecodeImagPixels(const ImagHeader& header, const uint8_t* data, IconImage* image) {
    auto* pixels = static_cast<uint8_t*>(image->pixels);
    uint32_t count = PixelCount(image);
    if (header.imageFormat == form::FormatPacked) {
        DecodeRunLength(data, header.imageBytes, pixels, count, header.depth);
        return;
    }
    memcpy(pixels, data, header.imageBytes < count ? header.imageBytes : count);
}

// Colours cut short stay black.
void DecodeImagPalette(const ImagHeader& header, const uint8_t* data, uint32_t* palette) {
    uint8_t bytes[form::MaxPaletteBytes];
    memset(bytes, 0, sizeof bytes);
    uint32_t wanted = header.colours * 3;
    if (header.paletteFormat == form::FormatPacked) {
        DecodeRunLength(data, header.paletteBytes, bytes, wanted, form::PaletteDepth);
    } else {
        memcpy(bytes, data, header.paletteBytes < wanted ? header.paletteBytes : wanted);
    }
    RgbToWords(bytes, header.colours, palette);
}

// An IMAG without a FACE before it, with a header outside the rules, or
// without colours when no IMAG before it has any, is left out.
PictureOutcome ReadImag(FormWalk* walk, uint32_t size) {
    if (!walk->width || size < form::ImagHeaderBytes) return PassOver(walk, size);
    const uint8_t* data = ReadChunkData(walk, size);
    if (!data) return PictureFailed;
    ImagHeader header{};
    if (!CheckImagHeader(data, size, &header)) return PictureLeftOut;
    // A picture without colours of its own shares those of the first IMAG.
    if (!header.paletteBytes && !walk->firstImag) return PictureLeftOut;

    AmigaReadState* state = walk->state;
    IconImage* image = AllocIconImage(state->budget, walk->width, walk->height, static_cast<int32_t>(header.depth),
                                      header.transparentPen, walk->firstImag != nullptr, state->head,
                                      state->tail);
    if (!image) return PictureNotMade(state->budget);
    DecodeImagPixels(header, data + form::ImagHeaderBytes, image);
    if (header.paletteBytes)
        DecodeImagPalette(header, data + form::ImagHeaderBytes + header.imageBytes, image->palette);
    else
        memcpy(image->palette, walk->firstImag->palette, PaletteEntries * sizeof(uint32_t));
    if (!walk->firstImag) {
        walk->firstImag = image;
        state->primary = image;
    }
    return PictureMade;
}

// The file holds each pixel as the bytes A, R, G, B; memory holds native
// 0xAARRGGBB words. Those bytes are the big-endian form of the word, so a
// big-endian machine has nothing to do and a little-endian one swaps each
// word in place.
void StoreArgbBytesAsWords(void* pixels, uint32_t count) {
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) return;
    auto* bytes = static_cast<uint8_t*>(pixels);
    // Two pixels at a time: the 64-bit swap also exchanges the two words,
    // which the rotation puts back.
    uint32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        uint64_t pair = 0;
        memcpy(&pair, bytes + 4 * i, 8);
        pair = __builtin_bswap64(pair);
        pair = pair << 32 | pair >> 32;
        memcpy(bytes + 4 * i, &pair, 8);
    }
    if (i < count) {
        uint32_t word = 0;
        memcpy(&word, bytes + 4 * i, 4);
        word = __builtin_bswap32(word);
        memcpy(bytes + 4 * i, &word, 4);
    }
}

// The compressed bytes of an ARGB chunk. The stored length is one less than
// their count, and a stream shorter than the chunk leaves padding after it;
// some writers store the count itself, one byte beyond the chunk. A zlib
// stream carries its own end, so the chunk's bytes serve whenever the field
// claims more than the chunk holds.
uint32_t ArgbStreamBytes(uint32_t lengthField, uint32_t size) {
    const uint32_t held = size - form::ArgbHeaderBytes;
    return lengthField < held ? lengthField + 1 : held;
}

// An ARGB without a FACE before it, or whose stream does not expand, is
// left out.
PictureOutcome ReadArgb(FormWalk* walk, uint32_t size) {
    if (!walk->width || size < form::ArgbHeaderBytes) return PassOver(walk, size);
    const uint8_t* data = ReadChunkData(walk, size);
    uint32_t lengthField = 0;
    if (!data || !PeekBE32(data, size, 4, &lengthField)) return PictureFailed;

    AmigaReadState* state = walk->state;
    IconImage* mark = *state->tail;
    IconImage* image = AllocIconImage(state->budget, walk->width, walk->height, 32, -1, walk->firstArgb != nullptr,
                                      state->head, state->tail);
    if (!image) return PictureNotMade(state->budget);
    uint32_t room = 0;
    IconImageByteCount(walk->width, walk->height, 32, &room);  // AllocIconImage proved it fits
    if (UncompressBlock(image->pixels, &room, data + form::ArgbHeaderBytes, ArgbStreamBytes(lengthField, size)) != 0)
        return LeaveOutPictures(state->head, state->tail, mark);
    // A stream that ends early leaves the rest of the picture transparent.
    StoreArgbBytesAsWords(image->pixels, room / form::ArgbBytesPerPixel);
    if (!walk->firstArgb) {
        walk->firstArgb = image;
        state->primary = image;
    }
    return PictureMade;
}

PictureOutcome ReadChunk(FormWalk* walk, uint32_t id, uint32_t size) {
    switch (id) {
        case form::IdFace: return ReadFace(walk, size);
        case form::IdImag: return ReadImag(walk, size);
        case form::IdArgb: return ReadArgb(walk, size);
        default: return SkipForward(walk->stream, size) ? PictureMade : PictureFailed;
    }
}

// The FORM header: "FORM", u32 size, "ICON". Writes the bytes of chunks
// the size announces, cut to the `available` bytes after the header; 0
// when there is no FORM.
int32_t ReadFormHeader(StreamHandle stream, uint32_t available, uint32_t* formBytes) {
    uint8_t header[form::FormHeaderBytes];
    uint32_t id = 0;
    uint32_t size = 0;
    if (available < form::FormHeaderBytes || !ReadExactly(stream, header, form::FormHeaderBytes) ||
        !PeekBE32(header, form::FormHeaderBytes, 0, &id) || id != form::IdForm ||
        !PeekBE32(header, form::FormHeaderBytes, 4, &size))
        return 0;
    // The size counts the form type "ICON", already passed.
    const uint32_t announced = size >= 4 ? size - 4 : 0;
    const uint32_t present = available - form::FormHeaderBytes;
    *formBytes = announced < present ? announced : present;
    return 1;
}

}  // namespace

int32_t ReadIconForm(StreamHandle stream, uint32_t available, AmigaReadState* state) {
    uint32_t formBytes = 0;
    if (!ReadFormHeader(stream, available, &formBytes)) return 1;
    FormWalk walk{stream, state, {formBytes}, 0, 0, nullptr, nullptr};
    // Every round takes at least a chunk header from the budget, so the walk
    // only moves forward and ends; fewer bytes than a header hold nothing.
    while (walk.left.Holds(form::ChunkHeaderBytes)) {
        // Only pictures follow the picture the budget left out: the walk ends.
        if (!PictureBudgetLeft(state->budget)) return 1;
        uint8_t header[form::ChunkHeaderBytes];
        if (!ReadExactly(stream, header, form::ChunkHeaderBytes)) return 0;
        TakeFromBudget(&walk.left, form::ChunkHeaderBytes);
        uint32_t id = 0;
        uint32_t size = 0;
        PeekBE32(header, form::ChunkHeaderBytes, 0, &id);
        PeekBE32(header, form::ChunkHeaderBytes, 4, &size);
        // A chunk that claims more than the FORM holds ends it: the
        // chunks before it stay.
        if (!TakeFromBudget(&walk.left, size)) return 1;
        if (ReadChunk(&walk, id, size) == PictureFailed) return 0;
        // An odd chunk is followed by a pad byte, which the FORM's last
        // chunk may lack.
        if ((size & 1) && walk.left.bytes > 0) {
            if (!SkipForward(stream, 1)) return 0;
            TakeFromBudget(&walk.left, 1);
        }
    }
    return 1;
}
