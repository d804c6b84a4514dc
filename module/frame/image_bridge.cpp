#include "frame/image_bridge.h"

#include <cstring>

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/magic.h"
#include "frame/sizes.h"
#include "model/icon_image.h"

namespace {
constexpr uint32_t MaxStreamWrite = 0x7FFFFFFFu;
}  // namespace

StreamHandle EncodePngImage(const IconImage* image, const void** bytes, uint32_t* size) {
    // The encoder reads four bytes per pixel; a palette picture has one.
    if (image->depth <= 8 || !image->pixels) return nullptr;
    char name[MemoryNameLength];
    name[0] = '\0';
    StreamHandle output = OpenMemoryOutput(name);
    if (!output) return nullptr;
    *size = 0;
    if (EncodePngFile(name, static_cast<const uint32_t*>(image->pixels), image->width, image->height)) {
        *bytes = MemoryOutputBytes(output, size);
        // The stream takes a signed count; a PNG too large for it is a
        // failure, not a truncated file.
        if (*bytes && *size <= MaxStreamWrite) return output;
    }
    CloseMemoryOutput(output);
    return nullptr;
}

int32_t WritePngImage(StreamHandle stream, const IconImage* image) {
    const void* bytes = nullptr;
    uint32_t size = 0;
    StreamHandle output = EncodePngImage(image, &bytes, &size);
    if (!output) return 0;
    WriteStream(stream, bytes, static_cast<int32_t>(size));
    CloseMemoryOutput(output);
    return 1;
}

namespace {

// Copies the host's decoded image into a new picture and releases it. The
// copy writes every pixel, so they are not cleared first.
IconImage* TakeDecodedImage(PictureBudget* budget, HostImageHandle decoded, int32_t width, int32_t height,
                            IconImage** head, IconImage** tail) {
    IconImage* image = AllocFilledIconImage(budget, width, height, 32, 0, 0, head, tail);
    const uint32_t* pixels = image ? ImagePixels(decoded) : nullptr;
    uint32_t bytes = 0;
    IconImageByteCount(width, height, 32, &bytes);  // AllocFilledIconImage proved it fits
    if (pixels)
        memcpy(image->pixels, pixels, bytes);
    else if (image)
        memset(image->pixels, 0, bytes);  // a linked picture is never left undefined
    ReleaseImage(decoded);
    return pixels ? image : nullptr;
}

// The pixel bytes a decode of `data` that failed may have cost: what a PNG's
// header declares (the decoder stops at the picture's end), else the most
// the host hands out for one picture.
uint32_t FailedDecodeBytes(const uint8_t* data, uint32_t size) {
    constexpr uint32_t LargestPicture = 4096 * 4096 * 4;
    constexpr uint32_t WidthOffset = 16;  // signature, IHDR length and type
    uint32_t width = 0, height = 0, bytes = 0;
    if (size < sizeof PngSignature || memcmp(data, PngSignature, sizeof PngSignature) != 0 ||
        !PeekBE32(data, size, WidthOffset, &width) || !PeekBE32(data, size, WidthOffset + 4, &height) ||
        !MultiplySize(width, height, &bytes) || !MultiplySize(bytes, 4, &bytes) || bytes > LargestPicture)
        return LargestPicture;
    return bytes;
}

}  // namespace

PictureOutcome DecodeImageBlock(PictureBudget* budget, const void* data, uint32_t size, const char* extension,
                                IconImage** head, IconImage** tail) {
    // A named block the host is never asked to decode would stay named.
    if (!PictureBudgetLeft(budget)) return PictureLeftOut;
    MemoryBlockDesc desc{};
    desc.data = data;
    desc.extension = extension;
    desc.sizeHigh = 0;
    desc.sizeLow = size;
    char name[MemoryNameLength];
    name[0] = '\0';
    NameMemoryBlock(name, &desc);

    const TagItem tags[] = {{DecodeTagTrueColour, 1}, {DecodeTagMemoryBlock, 0}, {TagEnd, 0}};
    int32_t width = 0;
    int32_t height = 0;
    HostImageHandle decoded = DecodeImageFile(name, tags, &width, &height);
    if (!decoded) {
        ChargeLeftOutPicture(budget, FailedDecodeBytes(static_cast<const uint8_t*>(data), size));
        return PictureLeftOut;
    }
    if (TakeDecodedImage(budget, decoded, width, height, head, tail)) return PictureMade;
    return PictureBudgetReached(budget) ? PictureLeftOut : PictureFailed;
}

IconImage* DecodeImageToPicture(PictureBudget* budget, const char* name, const TagItem* tags, IconImage** head,
                                IconImage** tail) {
    if (!PictureBudgetLeft(budget)) return nullptr;
    int32_t width = 0;
    int32_t height = 0;
    HostImageHandle decoded = DecodeImageFile(name, tags, &width, &height);
    return decoded ? TakeDecodedImage(budget, decoded, width, height, head, tail) : nullptr;
}
