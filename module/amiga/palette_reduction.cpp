#include "amiga/palette_reduction.h"

#include "frame/host.h"
#include "frame/sizes.h"
#include "model/icon_image.h"

namespace {

constexpr int32_t TrueColourDepth = 32;

bool IsSelected(const IconImage* image) { return (image->flags & IconImageSelected) != 0; }

// Lets the host choose up to 256 colours for `source` into `result`.
bool Reduce(const IconImage* source, IconImage* result, uint32_t* palette) {
    if (!StartConvertedPicture(source, result, palette, 8)) return false;
    auto* pens = static_cast<uint8_t*>(result->pixels);
    const ConvertJob job{source->width, source->height, TrueColourDepth, 8, nullptr, palette, -1, 0};
    if (!ConvertPixels(source->pixels, pens, &job, ConvertChoosePalette)) return false;
    result->depth = static_cast<int32_t>(DepthForPen(HighestPen(pens, PixelCount(source)), 1));
    return true;
}

bool Qualifies(const IconImage* image, int32_t maxWidth, int32_t maxHeight) {
    return image->depth == TrueColourDepth && !IsSelected(image) && image->width >= 1 && image->height >= 1 &&
           image->width <= maxWidth && image->height <= maxHeight;
}

}  // namespace

bool StartConvertedPicture(const IconImage* source, IconImage* result, uint32_t* palette, int32_t depth) {
    uint32_t pixels = 0;
    if (source->width < 0 || source->height < 0 ||
        !MultiplySize(static_cast<uint32_t>(source->width), static_cast<uint32_t>(source->height), &pixels))
        return false;
    auto* pens = static_cast<uint8_t*>(AllocMemory(pixels, 0, "iedata"));
    if (!pens) return false;
    *result = IconImage{};
    result->pixels = pens;
    result->width = source->width;
    result->height = source->height;
    result->depth = depth;
    result->palette = palette;
    result->transparentPen = 0;
    return true;
}

const IconImage* FindReductionSource(const IconImage* images, int32_t maxWidth, int32_t maxHeight) {
    const IconImage* source = images;
    while (source && !Qualifies(source, maxWidth, maxHeight)) source = source->next;
    return source;
}

IconImage* ReduceToPaletteImages(const IconImage* images, int32_t maxWidth, int32_t maxHeight,
                                 ReducedPictures* reduced) {
    const IconImage* source = FindReductionSource(images, maxWidth, maxHeight);
    if (!source || !Reduce(source, &reduced->normal, reduced->normalPalette)) return nullptr;
    // A partner is one selected 32-bit picture of the same size: the two are
    // stored with one size, and the host needs to know its pixel form.
    const IconImage* partner = source->next;
    if (!partner || !IsSelected(partner) || partner->depth != TrueColourDepth || partner->width != source->width ||
        partner->height != source->height)
        return &reduced->normal;
    if (!Reduce(partner, &reduced->selected, reduced->selectedPalette)) return nullptr;
    reduced->selected.flags = IconImageSelected;
    reduced->normal.next = &reduced->selected;
    return &reduced->normal;
}

void ReleaseReducedPictures(ReducedPictures* reduced) {
    if (reduced->normal.pixels) FreeMemory(reduced->normal.pixels);
    if (reduced->selected.pixels) FreeMemory(reduced->selected.pixels);
    reduced->normal.pixels = nullptr;
    reduced->selected.pixels = nullptr;
}
