// ReadMacIcon: walks the elements of a macOS icon twice, first making a
// picture of every image element, then giving the masks to the pictures
// they belong to, so that a mask stored before its picture still applies.
#include <cstring>

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/magic.h"
#include "frame/reader.h"
#include "frame/sizes.h"
#include "macos/icns_channels.h"
#include "macos/icns_masks.h"
#include "macos/icns_types.h"
#include "macos/mac_palettes.h"
#include "model/format_io.h"
#include "model/icon_image.h"

namespace {

constexpr uint32_t TotalLengthBytes = 4;
constexpr uint32_t PaletteBytes = 256 * 4;

constexpr uint8_t Jp2[] = {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t Codestream[] = {0xFF, 0x4F, 0xFF, 0x51};  // JPEG 2000 SOC, SIZ

enum WalkPass : int32_t { ImagePass, MaskPass };

struct IcnsReading {
    StreamHandle stream;
    IconRecord* record;
    IconImage* tail;
    PictureBudget* budget;
    IconImage* picture[IcnsTypeCount];  // the picture each type made
};

// The data of the element at the stream position, `length` bytes that the
// walk has proved to be present, in a block of its own ("buf"); null when
// it cannot be had.
uint8_t* ReadElementData(StreamHandle stream, uint32_t length) {
    auto* data = static_cast<uint8_t*>(AllocMemory(length ? length : 1, 0, "buf"));
    if (!data) return nullptr;
    if (!ReadExactly(stream, data, length)) {
        FreeMemory(data);
        return nullptr;
    }
    return data;
}

// A complete image file the host decodes: PNG, or JPEG 2000 as a JP2 file
// or a bare codestream.
int32_t IsImageFile(const uint8_t* data, uint32_t length) {
    return (length >= PngSignatureBytes && memcmp(data, PngSignature, PngSignatureBytes) == 0) ||
           (length >= sizeof Jp2 && memcmp(data, Jp2, sizeof Jp2) == 0) ||
           (length >= sizeof Codestream && memcmp(data, Codestream, sizeof Codestream) == 0);
}

IconImage* NewPicture(IcnsReading* reading, const IcnsTypeRow& row, int32_t depth) {
    return AllocIconImage(reading->budget, row.rowWidth, row.rowHeight, depth, -1, 0, &reading->record->images,
                          &reading->tail);
}

PictureOutcome ReadPens4(IcnsReading* reading, const IcnsTypeRow& row, const uint8_t* data, uint32_t length) {
    const auto count = static_cast<uint32_t>(row.rowWidth * row.rowHeight);
    if (length != count / 2) return PictureLeftOut;
    IconImage* picture = NewPicture(reading, row, 4);
    if (!picture) return PictureNotMade(reading->budget);
    auto* pens = static_cast<uint8_t*>(picture->pixels);
    for (uint32_t i = 0; i < length; ++i) {
        pens[2 * i] = data[i] >> 4;
        pens[2 * i + 1] = data[i] & 0x0F;
    }
    memcpy(picture->palette, MacPalette16.colours, PaletteBytes);
    return PictureMade;
}

PictureOutcome ReadPens8(IcnsReading* reading, const IcnsTypeRow& row, const uint8_t* data, uint32_t length) {
    if (length != static_cast<uint32_t>(row.rowWidth * row.rowHeight)) return PictureLeftOut;
    IconImage* picture = NewPicture(reading, row, 8);
    if (!picture) return PictureNotMade(reading->budget);
    memcpy(picture->pixels, data, length);
    memcpy(picture->palette, MacPalette256.colours, PaletteBytes);
    return PictureMade;
}

// Packed channels: red, green and blue after an optional lead-in, or with
// `argb` the "ARGB" bytes and four channels.
PictureOutcome ReadPackedChannels(IcnsReading* reading, const IcnsTypeRow& row, const uint8_t* data,
                                  uint32_t length, int32_t argb) {
    const auto count = static_cast<uint32_t>(row.rowWidth * row.rowHeight);
    auto* planes = static_cast<uint8_t*>(AllocArray(count, argb ? 4 : 3, 0, "buf"));
    if (!planes) return PictureFailed;
    IconImage* picture = NewPicture(reading, row, 32);
    if (picture && argb)
        UnpackIcnsArgbChannels(data, length, planes, static_cast<uint32_t*>(picture->pixels), count);
    else if (picture)
        UnpackIcnsChannels(data, length, planes, static_cast<uint32_t*>(picture->pixels), count);
    FreeMemory(planes);
    return picture ? PictureMade : PictureNotMade(reading->budget);
}

// The picture takes the size of the file, whatever the type says.
PictureOutcome ReadImageFile(IcnsReading* reading, const uint8_t* data, uint32_t length) {
    return DecodeImageBlock(reading->budget, data, length, "bin", &reading->record->images, &reading->tail);
}

// Data the element's kind cannot hold leave the picture out.
PictureOutcome DecodeImageElement(IcnsReading* reading, const IcnsTypeRow& row, const uint8_t* data,
                                  uint32_t length) {
    switch (row.kind) {
        case IcnsPens4: return ReadPens4(reading, row, data, length);
        case IcnsPens8: return ReadPens8(reading, row, data, length);
        case IcnsPackedChannels: return ReadPackedChannels(reading, row, data, length, 0);
        case IcnsImageFile: return ReadImageFile(reading, data, length);
        case IcnsImageOrPacked:
            // The small image-file types sometimes hold packed channels.
            if (IsImageFile(data, length)) return ReadImageFile(reading, data, length);
            return ReadPackedChannels(reading, row, data, length, 0);
        case IcnsImageOrArgb:
            if (IsImageFile(data, length)) return ReadImageFile(reading, data, length);
            if (IsIcnsArgbChannels(data, length)) return ReadPackedChannels(reading, row, data, length, 1);
            return PictureLeftOut;
        default: return PictureLeftOut;
    }
}

PictureOutcome ReadImageElement(IcnsReading* reading, int32_t rowIndex, uint32_t length) {
    const IcnsTypeRow& row = IcnsTypeTable[rowIndex];
    uint8_t* data = ReadElementData(reading->stream, length);
    if (!data) return PictureFailed;
    const PictureOutcome outcome = DecodeImageElement(reading, row, data, length);
    FreeMemory(data);
    if (outcome == PictureMade) reading->picture[rowIndex] = reading->tail;
    return outcome;
}

// 1 when some picture of the list has the row's size.
int32_t HasPictureOfSize(const IcnsReading* reading, const IcnsTypeRow& row) {
    for (const IconImage* image = reading->record->images; image; image = image->next)
        if (image->width == row.rowWidth && image->height == row.rowHeight) return 1;
    return 0;
}

// The icon plane of a "#" element as a picture of its own, for a size the
// file has no deeper picture of: pen 0 white, pen 1 black, and the mask
// plane giving the transparent pen. 0 when memory runs out.
int32_t ReadOneBitPicture(IcnsReading* reading, const IcnsTypeRow& row, const uint8_t* planes,
                          uint32_t planeBytes) {
    IconImage* picture = NewPicture(reading, row, 1);
    if (!picture) return 0;
    auto* pens = static_cast<uint8_t*>(picture->pixels);
    for (uint32_t i = 0; i < planeBytes * 8; ++i) pens[i] = (planes[i / 8] >> (7 - i % 8)) & 1;
    picture->palette[0] = OneBitWhite;
    picture->palette[1] = OneBitBlack;
    return ApplyPlaneMask(planes + planeBytes, planeBytes, picture);
}

// Gives the mask to every picture made from a partner type of its size.
int32_t ApplyMask(IcnsReading* reading, const IcnsTypeRow& maskRow, const uint8_t* mask,
                  uint32_t maskBytes) {
    for (int32_t row = 0; row < IcnsTypeCount; ++row) {
        IconImage* target = reading->picture[row];
        if (!target || !IsIcnsMaskPartner(maskRow, IcnsTypeTable[row])) continue;
        if (maskRow.kind == IcnsAlpha8) {
            ApplyAlphaMask(mask, maskBytes, target);
        } else if (!ApplyPlaneMask(mask, maskBytes, target)) {
            return 0;
        }
    }
    return 1;
}

int32_t HasPartner(const IcnsReading* reading, const IcnsTypeRow& maskRow) {
    for (int32_t row = 0; row < IcnsTypeCount; ++row)
        if (reading->picture[row] && IsIcnsMaskPartner(maskRow, IcnsTypeTable[row])) return 1;
    return 0;
}

// Whether a mask element is given to the pictures of its partner types, or
// its icon plane makes a picture of its own.
enum MaskUse : int32_t { MaskUnused, MaskForPartners, MaskMakesPicture };

MaskUse UseOfMask(const IcnsReading* reading, const IcnsTypeRow& row, uint32_t length, uint32_t* offset) {
    const uint32_t maskBytes = IcnsMaskBytes(row);
    if (!LocateIcnsMask(length, maskBytes, offset)) return MaskUnused;
    if (HasPartner(reading, row)) return MaskForPartners;
    // Both planes, and nothing deeper of the size: the icon plane is the
    // picture.
    if (row.kind == IcnsTwoPlanes && *offset == maskBytes && !HasPictureOfSize(reading, row)) return MaskMakesPicture;
    return MaskUnused;
}

// A mask whose data have a length other than one or two masks, or that no
// picture takes, is skipped.
int32_t ReadMaskElement(IcnsReading* reading, int32_t rowIndex, uint32_t length) {
    const IcnsTypeRow& row = IcnsTypeTable[rowIndex];
    const uint32_t maskBytes = IcnsMaskBytes(row);
    uint32_t offset = 0;
    const MaskUse use = UseOfMask(reading, row, length, &offset);
    if (use == MaskUnused) return SkipForward(reading->stream, length);
    uint8_t* data = ReadElementData(reading->stream, length);
    if (!data) return 0;
    const int32_t applied = use == MaskForPartners ? ApplyMask(reading, row, data + offset, maskBytes)
                                                   : ReadOneBitPicture(reading, row, data, maskBytes);
    FreeMemory(data);
    return applied;
}

enum ElementHeader : int32_t { HeaderFailed, HeaderRead, HeaderBad };

// Reads and checks the header of the element at the stream position.
ElementHeader ReadElementHeader(StreamHandle stream, uint32_t bytesLeft, uint32_t* typeCode,
                                uint32_t* dataLength) {
    uint8_t header[IcnsElementHeaderBytes];
    if (bytesLeft < IcnsElementHeaderBytes) return HeaderBad;
    if (!ReadExactly(stream, header, IcnsElementHeaderBytes)) return HeaderFailed;
    return CheckIcnsElementHeader(header, bytesLeft, typeCode, dataLength) ? HeaderRead : HeaderBad;
}

// One walk over all elements from the first; every element either is
// consumed whole or ends the walk, so each step moves forward. An element
// whose data cannot be decoded is left out; a header whose length cannot
// be right ends the walk with the elements before it.
int32_t WalkElements(IcnsReading* reading, int32_t pass) {
    if (SeekStream(reading->stream, IcnsHeaderBytes, SeekFromStart) < 0) return 0;
    for (;;) {
        const uint32_t bytesLeft = StreamBytesLeft(reading->stream);
        if (bytesLeft == 0) return 1;
        // The elements after a picture the budget left out are not decoded.
        if (pass == ImagePass && !PictureBudgetLeft(reading->budget)) return 1;
        uint32_t typeCode = 0;
        uint32_t length = 0;
        const ElementHeader header = ReadElementHeader(reading->stream, bytesLeft, &typeCode, &length);
        if (header != HeaderRead) return header == HeaderBad;
        const int32_t row = FindIcnsType(typeCode);
        int32_t done = 0;
        // A type read once is not read again: its masks go to the first
        // picture only, and a file cannot pile up pictures by repeating
        // small elements that unpack large.
        if (row < 0 || IcnsTypeTable[row].isMask != (pass == MaskPass) ||
            (pass == ImagePass && reading->picture[row]))
            done = SkipForward(reading->stream, length);
        else if (pass == ImagePass)
            done = ReadImageElement(reading, row, length) != PictureFailed;
        else
            done = ReadMaskElement(reading, row, length);
        if (!done) return 0;
    }
}

}  // namespace

int32_t ReadMacIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget) {
    // The total length after the magic is not needed: the elements run to
    // the end of the file.
    if (!SkipForward(stream, TotalLengthBytes)) return 0;
    IcnsReading reading{};
    reading.stream = stream;
    reading.record = record;
    reading.budget = budget;
    for (IconImage* image = record->images; image; image = image->next) reading.tail = image;
    if (!WalkElements(&reading, ImagePass) || !WalkElements(&reading, MaskPass)) return 0;
    return record->images != nullptr;
}
