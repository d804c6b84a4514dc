#include "model/icon_image.h"

#include "frame/host.h"
#include "frame/sizes.h"
#include "model/tags.h"

namespace {
constexpr uint32_t PaletteBytes = 256 * 4;
constexpr uint32_t TrueColourBytesPerPixel = 4;
constexpr int32_t MaxPaletteDepth = 8;
}  // namespace

int32_t IconImageByteCount(int32_t width, int32_t height, int32_t depth, uint32_t* bytes) {
    if (width < 0 || height < 0) return 0;
    uint32_t pixels = 0;
    if (!MultiplySize(static_cast<uint32_t>(width), static_cast<uint32_t>(height), &pixels)) return 0;
    if (depth <= MaxPaletteDepth) {
        *bytes = pixels;
        return 1;
    }
    return MultiplySize(pixels, TrueColourBytesPerPixel, bytes);
}

namespace {

// A tag's value as a 32-bit count; a larger value means no smaller bound.
uint32_t CountTag(const TagItem* tags, uint32_t tag, uint32_t fallback) {
    const uint64_t value = GetTagValue(tags, tag, fallback);  // 32 or 64 bits wide
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

}  // namespace

PictureBudget LoadPictureBudget(const TagItem* tags) {
    return {CountTag(tags, LoadTagMaxPictures, LoadBudgetPictures),
            CountTag(tags, LoadTagMaxPictureBytes, LoadBudgetPictureBytes), 0};
}

int32_t PictureBudgetLeft(PictureBudget* budget) {
    if (!budget) return 1;
    if (!budget->pictures || !budget->bytes) budget->reached = 1;
    return !budget->reached;
}

void ChargeLeftOutPicture(PictureBudget* budget, uint32_t bytes) {
    if (!budget) return;
    if (budget->pictures) --budget->pictures;
    budget->bytes -= bytes < budget->bytes ? bytes : budget->bytes;
}

namespace {

// Charges one picture of `bytes` pixel and palette bytes: 1 when it fits.
int32_t TakePicture(PictureBudget* budget, uint32_t bytes) {
    if (!PictureBudgetLeft(budget)) return 0;
    if (!budget) return 1;
    if (bytes > budget->bytes) {
        budget->reached = 1;
        return 0;
    }
    budget->bytes -= bytes;
    --budget->pictures;
    return 1;
}

IconImage* NewIconImage(PictureBudget* budget, int32_t width, int32_t height, int32_t depth,
                        int32_t transparentPen, int32_t selected, int32_t clearPixels, IconImage** head,
                        IconImage** tail) {
    uint32_t pixelBytes = 0;
    if (!IconImageByteCount(width, height, depth, &pixelBytes)) return nullptr;
    const uint32_t paletteBytes = depth <= MaxPaletteDepth ? PaletteBytes : 0;
    if (!TakePicture(budget, pixelBytes > UINT32_MAX - paletteBytes ? UINT32_MAX : pixelBytes + paletteBytes))
        return nullptr;

    auto* image = static_cast<IconImage*>(AllocMemory(sizeof(IconImage), 1, "ic"));
    if (!image) return nullptr;
    // Linked at once, so that the list's owner releases it even when the
    // blocks below cannot be had.
    if (*tail)
        (*tail)->next = image;
    else
        *head = image;

    image->depth = depth;
    image->transparentPen = transparentPen;
    image->width = width;
    image->height = height;
    if (selected) image->flags = IconImageSelected;

    image->pixels = AllocMemory(pixelBytes, clearPixels, "icdata");
    if (!image->pixels) return nullptr;
    if (depth <= MaxPaletteDepth) {
        image->palette = static_cast<uint32_t*>(AllocMemory(PaletteBytes, 1, "icpalette"));
        if (!image->palette) return nullptr;
    }
    *tail = image;
    return image;
}

}  // namespace

IconImage* AllocIconImage(PictureBudget* budget, int32_t width, int32_t height, int32_t depth,
                          int32_t transparentPen, int32_t selected, IconImage** head, IconImage** tail) {
    return NewIconImage(budget, width, height, depth, transparentPen, selected, 1, head, tail);
}

IconImage* AllocFilledIconImage(PictureBudget* budget, int32_t width, int32_t height, int32_t depth,
                                int32_t transparentPen, int32_t selected, IconImage** head, IconImage** tail) {
    return NewIconImage(budget, width, height, depth, transparentPen, selected, 0, head, tail);
}

void FreeIconImage(IconImage* image) {
    if (image->pixels) FreeMemory(image->pixels);
    if (image->palette) FreeMemory(image->palette);
    FreeMemory(image);
}

uint32_t HighestPen(const uint8_t* pens, uint32_t count) {
    uint32_t highest = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (pens[i] > highest) highest = pens[i];
    return highest;
}

uint32_t DepthForPen(uint32_t highest, uint32_t depth) {
    while (depth < static_cast<uint32_t>(MaxPaletteDepth) && (1u << depth) <= highest) ++depth;
    return depth;
}

PictureOutcome LeaveOutPictures(IconImage** head, IconImage** tail, IconImage* mark) {
    IconImage** link = mark ? &mark->next : head;
    IconImage* image = *link;
    *link = nullptr;
    while (image) {
        IconImage* next = image->next;
        FreeIconImage(image);
        image = next;
    }
    *tail = mark;
    return PictureLeftOut;
}
