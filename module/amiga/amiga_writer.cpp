// WriteAmigaIcon: the classic part of an Amiga icon, then NewIcons lines
// ("NEWICON") or a FORM ICON ("AMIGAOS35", "AMIGAOS40"). Every picture is
// chosen and converted before the first byte is written, so a save that must
// fail leaves the file empty.
#include <cstring>

#include "amiga/icon_layout.h"
#include "amiga/icon_palettes.h"
#include "amiga/icon_strings.h"
#include "amiga/newicons_image.h"
#include "amiga/palette_reduction.h"
#include "amiga/planar_codec.h"
#include "amiga_form/icon_form.h"
#include "frame/bytes.h"
#include "frame/formats.h"
#include "frame/host.h"
#include "frame/scratch.h"
#include "model/attributes.h"
#include "model/format_io.h"
#include "model/icon_image.h"

namespace {

constexpr int32_t MaxClassicSide = 256;
constexpr int32_t MaxFormSide = 256;
constexpr int32_t TrueColourDepth = 32;
constexpr int32_t PaletteDepthClass = 8;

// A normal picture and its selected partner (null when it has none).
struct PicturePair {
    const IconImage* normal;
    const IconImage* selected;
};

// Everything one save works with; the blocks in it are released at the end.
struct AmigaWriteState {
    PicturePair classic;
    const IconImage* direct;         // the caller's picture written as the classic part, if any
    IconImage converted[2];          // 4-colour versions for the classic part
    uint32_t iconPalette[PaletteEntries];
    PicturePair extra;               // NewIcons or FORM ICON pictures
    ReducedPictures reduced;
    IconImage swapped[2];            // NewIcons pictures whose transparent pen moved to 0
    uint32_t swappedPalettes[2][PaletteEntries];
    Scratch scratch;                 // planes, then NewIcons lines
    uint32_t planeBytes[2];
    uint32_t newIconsBytes;
    uint32_t newIconsLines;
    IconFormBytes form;              // the FORM ICON, built before the first byte
};

bool IsSelected(const IconImage* image) { return (image->flags & IconImageSelected) != 0; }

bool FitsIn(const IconImage* image, int32_t side) {
    return image->pixels && image->width >= 1 && image->height >= 1 && image->width <= side && image->height <= side;
}

bool IsPaletteDepth(int32_t depth) { return depth >= 1 && depth <= 8; }

bool IsPalettePicture(const IconImage* image) { return IsPaletteDepth(image->depth) && image->palette; }

// What a selected partner must be besides selected and of the same size.
enum class PartnerKind { SameDepth, PaletteOrTrueColour, Palette, TrueColour };

bool PartnerFits(const IconImage* normal, const IconImage* next, PartnerKind kind) {
    switch (kind) {
        case PartnerKind::SameDepth: return next->depth == normal->depth;
        case PartnerKind::PaletteOrTrueColour: return IsPalettePicture(next) || next->depth == TrueColourDepth;
        case PartnerKind::Palette: return IsPalettePicture(next);
        case PartnerKind::TrueColour: return next->depth == TrueColourDepth;
    }
    return false;
}

// The partner of `normal`: the picture after it when that is selected, of
// the same size and of the kind asked for. Pictures of two sizes are never
// paired: both are stored with one size.
const IconImage* PartnerOf(const IconImage* normal, PartnerKind kind) {
    const IconImage* next = normal->next;
    if (!next || !IsSelected(next) || next->width != normal->width || next->height != normal->height) return nullptr;
    return PartnerFits(normal, next, kind) ? next : nullptr;
}

// ---- The classic part ---------------------------------------------------------

// A 4-colour version of `source` in `result`, pen 0 for its transparent pixels.
bool ConvertToIconColours(const IconImage* source, IconImage* result, uint32_t* iconPalette) {
    const int32_t depthClass = source->depth == TrueColourDepth ? TrueColourDepth : PaletteDepthClass;
    if ((depthClass == PaletteDepthClass && !IsPalettePicture(source)) ||
        !StartConvertedPicture(source, result, iconPalette, 2))
        return false;
    const ConvertJob job{source->width,
                         source->height,
                         depthClass,
                         2,
                         depthClass == PaletteDepthClass ? source->palette : nullptr,
                         iconPalette,
                         depthClass == PaletteDepthClass ? TransparentPenOf(source) : -1,
                         0};
    return ConvertPixels(source->pixels, static_cast<uint8_t*>(result->pixels), &job, ConvertMapToPalette) != 0;
}

// The first picture of two or three planes that fits, as it is; else the
// shallowest normal picture that fits, converted to the four icon colours.
bool ChooseClassicPictures(const IconImage* images, AmigaWriteState* state) {
    for (const IconImage* image = images; image; image = image->next) {
        if (!FitsIn(image, MaxClassicSide) || (image->depth != 2 && image->depth != 3)) continue;
        state->classic = {image, PartnerOf(image, PartnerKind::SameDepth)};
        state->direct = image;
        return true;
    }
    const IconImage* source = nullptr;
    for (const IconImage* image = images; image; image = image->next)
        if (FitsIn(image, MaxClassicSide) && !IsSelected(image) && image->depth >= 1 &&
            (!source || image->depth < source->depth))
            source = image;
    if (!source || (source->depth > 8 && source->depth != TrueColourDepth)) return false;
    memset(state->iconPalette, 0, sizeof state->iconPalette);
    memcpy(state->iconPalette, IconPalette4, sizeof IconPalette4);
    if (!ConvertToIconColours(source, &state->converted[0], state->iconPalette)) return false;
    state->classic = {&state->converted[0], nullptr};
    const IconImage* partner = PartnerOf(source, PartnerKind::PaletteOrTrueColour);
    if (!partner) return true;
    if (!ConvertToIconColours(partner, &state->converted[1], state->iconPalette)) return false;
    state->converted[1].flags = IconImageSelected;
    state->classic.selected = &state->converted[1];
    return true;
}

// ---- NewIcons and IMAG pictures ------------------------------------------------

// The deepest normal palette picture that fits, other than one written as it
// is for the classic part; else a reduction of a true-colour picture; else
// that classic picture itself, so that any icon that loads can be saved.
bool ChoosePalettePictures(const IconImage* images, int32_t side, AmigaWriteState* state) {
    const IconImage* normal = nullptr;
    for (const IconImage* image = images; image; image = image->next)
        if (FitsIn(image, side) && IsPalettePicture(image) && !IsSelected(image) && image != state->direct &&
            (!normal || image->depth > normal->depth))
            normal = image;
    if (!normal && FindReductionSource(images, side, side)) {
        normal = ReduceToPaletteImages(images, side, side, &state->reduced);
        if (!normal) return false;
    }
    if (!normal) {
        const IconImage* classic = state->direct;
        if (!classic || !FitsIn(classic, side) || !IsPalettePicture(classic)) return false;
        normal = classic;
    }
    state->extra = {normal, PartnerOf(normal, PartnerKind::Palette)};
    return true;
}

// The first 32-bit picture that fits, and its 32-bit partner.
bool ChooseTrueColourPictures(const IconImage* images, AmigaWriteState* state) {
    for (const IconImage* image = images; image; image = image->next) {
        if (!FitsIn(image, MaxFormSide) || image->depth != TrueColourDepth) continue;
        state->extra = {image, PartnerOf(image, PartnerKind::TrueColour)};
        return true;
    }
    return false;
}

// NewIcons lines mark pen 0 transparent; a picture with another transparent
// pen is written with that pen and pen 0 swapped, in pixels and palette.
bool MoveTransparentPen(const IconImage* source, IconImage* copy, uint32_t* palette, const IconImage** result) {
    *result = source;
    const int32_t pen = TransparentPenOf(source);
    if (pen <= 0) return true;
    if (!StartConvertedPicture(source, copy, palette, source->depth)) return false;
    copy->flags = source->flags;
    const uint32_t pixels = PixelCount(source);
    auto* pens = static_cast<uint8_t*>(copy->pixels);
    const auto* from = static_cast<const uint8_t*>(source->pixels);
    const auto swapped = static_cast<uint8_t>(pen);
    for (uint32_t i = 0; i < pixels; ++i) pens[i] = from[i] == swapped ? 0 : from[i] == 0 ? swapped : from[i];
    memcpy(palette, source->palette, PaletteEntries * sizeof(uint32_t));
    palette[0] = source->palette[pen];
    palette[pen] = source->palette[0];
    *result = copy;
    return true;
}

uint8_t* ScratchBytes(const AmigaWriteState& state) { return static_cast<uint8_t*>(state.scratch.block); }

// Encodes the NewIcons lines into the scratch block, after room for planes.
bool EncodeNewIconsLines(AmigaWriteState* state) {
    const IconImage* pictures[2] = {};
    if (!MoveTransparentPen(state->extra.normal, &state->swapped[0], state->swappedPalettes[0], &pictures[0])) return false;
    if (state->extra.selected &&
        !MoveTransparentPen(state->extra.selected, &state->swapped[1], state->swappedPalettes[1], &pictures[1]))
        return false;
    const auto width = static_cast<uint32_t>(pictures[0]->width);
    const auto height = static_cast<uint32_t>(pictures[0]->height);
    const uint32_t planes = state->planeBytes[0] + state->planeBytes[1];
    const uint32_t bound = NewIconsPictureBound(width, height);
    if (!bound || bound > (UINT32_MAX - planes) / 2 || !ReserveScratch(&state->scratch, planes + 2 * bound)) return false;
    for (uint32_t image = 0; image < 2 && pictures[image]; ++image) {
        const IconImage* picture = pictures[image];
        if (!EncodeNewIconsPicture(static_cast<const uint8_t*>(picture->pixels), width, height, picture->palette,
                                   TransparentPenOf(picture) == 0, image, ScratchBytes(*state) + planes + state->newIconsBytes,
                                   2 * bound - state->newIconsBytes, &state->newIconsBytes, &state->newIconsLines))
            return false;
    }
    return true;
}

int32_t PlanarBytesOf(const PicturePair& pair, const IconImage* picture, uint32_t* bytes) {
    return PlanarBitmapBytes(static_cast<uint32_t>(pair.normal->width), static_cast<uint32_t>(pair.normal->height),
                             static_cast<uint32_t>(picture->depth), bytes);
}

// Every choice and conversion of the save, before anything is written.
bool PrepareSave(int32_t format, const IconImage* images, int32_t compress, AmigaWriteState* state) {
    if (!images || !ChooseClassicPictures(images, state)) return false;
    if (!PlanarBytesOf(state->classic, state->classic.normal, &state->planeBytes[0])) return false;
    if (state->classic.selected && !PlanarBytesOf(state->classic, state->classic.selected, &state->planeBytes[1]))
        return false;
    switch (format) {
        case FormatNewIcon:
            return ChoosePalettePictures(images, NewIconsMaxSide, state) && EncodeNewIconsLines(state);
        case FormatAmigaOS35:
            if (!ChoosePalettePictures(images, MaxFormSide, state)) return false;
            break;
        case FormatAmigaOS40:
            if (!ChooseTrueColourPictures(images, state)) return false;
            break;
        default:
            return true;
    }
    return BuildIconForm(&state->form, format, state->extra.normal, state->extra.selected, compress);
}

// ---- Writing ------------------------------------------------------------------

// Icons that open a window have drawer data; other icons keep a window when
// the caller gives any of its settings (PNG icons differ: see
// png_icon_writer.cpp).
bool WritesDrawerData(const IconAttributes& attributes) {
    return OpensWindow(attributes.type) || attributes.drawerLeft ||
           attributes.drawerTop || attributes.drawerWidth || attributes.drawerHeight || attributes.drawerViewMode ||
           (attributes.drawerShowAll & 1);
}

DrawerFields DrawerOf(const IconAttributes& attributes) {
    return {attributes.drawerLeft, attributes.drawerTop,
            static_cast<uint32_t>(attributes.drawerWidth),  static_cast<uint32_t>(attributes.drawerHeight),
            static_cast<uint32_t>(attributes.drawerShowAll), static_cast<uint32_t>(attributes.drawerViewMode) & 0xFFFF};
}

void WriteHeader(StreamHandle stream, int32_t format, const IconAttributes& attributes, const PicturePair& classic) {
    DiskObjectFields fields{};
    fields.gadgetWidth = static_cast<uint32_t>(classic.normal->width);
    fields.gadgetHeight = static_cast<uint32_t>(classic.normal->height);
    fields.gadgetFlags = classic.selected ? 6 : 4;
    fields.selectRender = classic.selected ? 1 : 0;
    fields.userData = 1;
    fields.type = static_cast<uint32_t>(attributes.type == 0 ? IconTypeTool : attributes.type) & 0xFF;
    fields.defaultTool = attributes.defaultTool ? 1 : 0;
    fields.toolTypes = attributes.toolTypes || format == FormatNewIcon ? 1 : 0;
    fields.currentX = static_cast<uint32_t>(attributes.currentX);
    fields.currentY = static_cast<uint32_t>(attributes.currentY);
    fields.drawerData = WritesDrawerData(attributes) ? 1 : 0;
    fields.stackSize = static_cast<uint32_t>(attributes.stackSize);
    WriteDiskObject(stream, fields);
    if (fields.drawerData) WriteDrawerData(stream, DrawerOf(attributes));
}

// Both pictures with the normal one's size and their own depth, their planes
// encoded at the start of the scratch block before anything is written.
bool EncodeClassicPlanes(AmigaWriteState* state) {
    const PicturePair& classic = state->classic;
    const auto width = static_cast<uint32_t>(classic.normal->width);
    const auto height = static_cast<uint32_t>(classic.normal->height);
    const IconImage* pictures[2] = {classic.normal, classic.selected};
    uint8_t* planes = ScratchBytes(*state);
    for (uint32_t i = 0; i < 2 && pictures[i]; planes += state->planeBytes[i], ++i)
        if (!EncodePlanarPixels(static_cast<const uint8_t*>(pictures[i]->pixels), width * height, width, height,
                                static_cast<uint32_t>(pictures[i]->depth), planes, state->planeBytes[i]))
            return false;
    return true;
}

void WriteClassicPictures(StreamHandle stream, const AmigaWriteState& state) {
    const PicturePair& classic = state.classic;
    const IconImage* pictures[2] = {classic.normal, classic.selected};
    const uint8_t* planes = ScratchBytes(state);
    for (uint32_t i = 0; i < 2 && pictures[i]; planes += state.planeBytes[i], ++i) {
        WriteImageHeader(stream, {0, 0, static_cast<uint32_t>(classic.normal->width),
                                  static_cast<uint32_t>(classic.normal->height),
                                  static_cast<uint32_t>(pictures[i]->depth)});
        WriteStream(stream, planes, static_cast<int32_t>(state.planeBytes[i]));
    }
}

// The caller's tool types; for "NEWICON" without old picture lines, then the
// marker pair unless the list has one, then the new picture lines.
void WriteToolTypes(StreamHandle stream, int32_t format, const IconAttributes& attributes, const AmigaWriteState& state) {
    const int32_t newIcon = format == FormatNewIcon;
    if (!attributes.toolTypes && !newIcon) return;
    const bool addMarker = newIcon && !HasMarkerPair(attributes.toolTypes);
    const uint32_t count = CountToolTypes(attributes.toolTypes, newIcon) + (addMarker ? 2 : 0) + state.newIconsLines;
    uint8_t word[StringLengthBytes];
    PokeBE32(word, (count + 1) * 4);  // (strings + 1) x 4
    WriteStream(stream, word, StringLengthBytes);
    WriteToolTypeTexts(stream, attributes.toolTypes, newIcon);
    if (addMarker) {
        WriteIconString(stream, " ");
        WriteIconString(stream, NewIconsMarker);
    }
    if (state.newIconsBytes)
        WriteStream(stream, ScratchBytes(state) + state.planeBytes[0] + state.planeBytes[1],
                    static_cast<int32_t>(state.newIconsBytes));
}

void WriteIcon(StreamHandle stream, int32_t format, const IconAttributes& attributes, AmigaWriteState* state) {
    WriteHeader(stream, format, attributes, state->classic);
    WriteClassicPictures(stream, *state);
    if (attributes.defaultTool) WriteIconString(stream, attributes.defaultTool);
    WriteToolTypes(stream, format, attributes, *state);
    if (WritesDrawerData(attributes)) WriteDrawerExtension(stream, DrawerOf(attributes));
    WriteIconFormBytes(stream, &state->form);
}

void ReleaseWriteState(AmigaWriteState* state) {
    for (int i = 0; i < 2; ++i) {
        if (state->converted[i].pixels) FreeMemory(state->converted[i].pixels);
        if (state->swapped[i].pixels) FreeMemory(state->swapped[i].pixels);
    }
    ReleaseReducedPictures(&state->reduced);
    ReleaseIconForm(&state->form);
    ReleaseScratch(&state->scratch);
}

}  // namespace

int32_t WriteAmigaIcon(StreamHandle stream, int32_t formatIndex, IconImage* images, const IconAttributes* attributes,
                       int32_t compress) {
    if (!attributes || formatIndex < FormatAmigaOS || formatIndex > FormatAmigaOS40) return 0;
    AmigaWriteState state{};
    int32_t result = 0;
    // Room for the planes first; NewIcons lines, when any, grow it behind them.
    if (PrepareSave(formatIndex, images, compress, &state) &&
        (state.scratch.block || ReserveScratch(&state.scratch, state.planeBytes[0] + state.planeBytes[1])) &&
        EncodeClassicPlanes(&state)) {
        WriteIcon(stream, formatIndex, *attributes, &state);
        result = 1;
    }
    ReleaseWriteState(&state);
    return result;
}
