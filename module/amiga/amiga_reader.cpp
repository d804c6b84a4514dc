// ReadAmigaIcon: the classic part of an Amiga icon (header, planar pictures,
// texts), the NewIcons pictures among its tool types, and a FORM ICON after it.
#include <cstring>

#include "amiga/icon_layout.h"
#include "amiga/icon_palettes.h"
#include "amiga/icon_strings.h"
#include "amiga/newicons_image.h"
#include "amiga/planar_codec.h"
#include "amiga_form/icon_form.h"
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/magic.h"
#include "model/format_io.h"
#include "model/icon_image.h"

namespace {

constexpr char FormId[] = "FORM";

bool IsOldStyle(const DiskObjectFields& header) { return header.userData == 0; }

int32_t ReadHeader(AmigaFile* file, IconRecord* record, DiskObjectFields* header) {
    // The loader has read the magic word.
    uint8_t bytes[DiskObjectBytes];
    PokeBE32(bytes, MagicAmigaIcon);
    if (!ReadSection(file, bytes + MagicBytes, DiskObjectBytes - MagicBytes)) return 0;
    *header = ParseDiskObject(bytes);
    record->type = static_cast<int32_t>(header->type);
    record->currentX = static_cast<int32_t>(header->currentX);
    record->currentY = static_cast<int32_t>(header->currentY);
    record->stackSize = static_cast<int32_t>(header->stackSize);
    if (!header->drawerData) return 1;
    uint8_t drawerBytes[DrawerDataBytes];
    if (!ReadSection(file, drawerBytes, DrawerDataBytes)) return 0;
    DrawerFields drawer{};
    ParseDrawerData(drawerBytes, &drawer);
    record->drawerLeft = drawer.left;
    record->drawerTop = drawer.top;
    record->drawerWidth = static_cast<int32_t>(drawer.width);
    record->drawerHeight = static_cast<int32_t>(drawer.height);
    return 1;
}

// One Image header and its planes, drawn onto a canvas of the Gadget's size.
int32_t ReadPlanarPicture(AmigaFile* file, const DiskObjectFields& header, int32_t selected,
                          AmigaReadState* state, IconImage** made) {
    uint8_t bytes[ImageHeaderBytes];
    if (!ReadSection(file, bytes, ImageHeaderBytes)) return 0;
    const ImageHeaderFields image = ParseImageHeader(bytes);
    uint32_t planeBytes = 0;
    if (!CheckImageHeader(image, header, file->left.bytes, &planeBytes)) return 0;
    const uint8_t* planes = ReadIntoScratch(file, state, planeBytes);
    if (!planes) return 0;
    // A bitmap without planes is all pen 0: a one-plane picture.
    const uint32_t depth = image.depth ? image.depth : 1;
    IconImage* picture = AllocIconImage(state->budget, static_cast<int32_t>(header.gadgetWidth),
                                        static_cast<int32_t>(header.gadgetHeight), static_cast<int32_t>(depth), 0,
                                        selected, state->head, state->tail);
    // A picture the budget leaves out is passed over: its planes are read.
    if (!picture) return PictureBudgetReached(state->budget);
    const PlanarPlacement placement{image.width, image.height, image.depth, image.left,
                                    image.top,   header.gadgetWidth, header.gadgetHeight};
    DecodePlanarPixels(planes, planeBytes, placement, static_cast<uint8_t*>(picture->pixels),
                       header.gadgetWidth * header.gadgetHeight);
    BuildPlanarPalette(depth, IsOldStyle(header), picture->palette);
    *made = picture;
    return 1;
}

int32_t ReadPlanarPictures(AmigaFile* file, const DiskObjectFields& header, AmigaReadState* state) {
    IconImage* normal = nullptr;
    if (!ReadPlanarPicture(file, header, 0, state, &normal)) return 0;
    state->primary = normal;
    IconImage* selected = nullptr;
    return !header.selectRender || ReadPlanarPicture(file, header, 1, state, &selected);
}

ToolTypesOutcome ReadTexts(AmigaFile* file, const DiskObjectFields& header, IconRecord* record,
                           AmigaReadState* state, NewIconsLines* lines) {
    if (header.defaultTool && !ReadDefaultTool(file, record)) return ToolTypesFailed;
    return header.toolTypes ? ReadToolTypes(file, record, state, lines) : ToolTypesWhole;
}

// The NewIcons pictures, when the marker and an "IM1=" line after it were
// found. A malformed header leaves a picture out; the icon still loads.
int32_t ReadNewIconsPictures(const NewIconsLines& lines, IconRecord* record, AmigaReadState* state) {
    if (!lines.marker || !lines.normal) return 1;
    IconImage* normal = nullptr;
    const NewIconsOutcome outcome = DecodeNewIconsPicture(state->budget, record->toolTypes, lines.blockLength, lines.normal - 1, 0,
                                                          nullptr, state->head, state->tail, &normal);
    if (outcome != NewIconsMade) return outcome == NewIconsNotMade;
    state->primary = normal;
    if (!lines.selected) return 1;
    IconImage* selected = nullptr;
    return DecodeNewIconsPicture(state->budget, record->toolTypes, lines.blockLength, lines.selected - 1, 1, normal, state->head,
                                 state->tail, &selected) != NewIconsFailed;
}

bool FormAt(const uint8_t* bytes, uint32_t seen, uint32_t offset) {
    return seen >= offset + 4 && memcmp(bytes + offset, FormId, 4) == 0;
}

// The DrawerData extension belongs to drawer data of a new-style icon. Real
// files break that rule both ways: an announced extension is absent when
// "FORM" stands where it would begin, and six unannounced bytes are passed
// over when "FORM" follows them. An announced extension cut off by the end
// of the file reads as zeros.
void ReadDrawerExtension(AmigaFile* file, const DiskObjectFields& header, IconRecord* record) {
    uint8_t next[DrawerExtensionBytes + 4] = {};
    const uint32_t seen = PeekSection(file, next, sizeof next);
    const bool announced = header.drawerData && !IsOldStyle(header);
    if (FormAt(next, seen, 0)) return;
    if (announced) {
        const uint32_t present = seen < DrawerExtensionBytes ? seen : DrawerExtensionBytes;
        SkipSection(file, present);
        DrawerFields drawer{};
        ParseDrawerExtension(next, &drawer);
        record->drawerShowAll = static_cast<int32_t>(drawer.showAll);
        record->drawerViewMode = static_cast<int32_t>(drawer.viewMode);
    } else if (FormAt(next, seen, DrawerExtensionBytes)) {
        SkipSection(file, DrawerExtensionBytes);
    }
}

// What follows the tool types: a tool-window string (passed over), the
// DrawerData extension and a FORM ICON.
int32_t ReadTrailingSections(AmigaFile* file, const DiskObjectFields& header, IconRecord* record,
                             AmigaReadState* state) {
    if (header.toolWindow && !SkipString(file)) return 0;
    ReadDrawerExtension(file, header, record);
    // A FORM ICON's pictures join the list, and its normal pictures may take
    // over as the primary one.
    return ReadIconForm(file->stream, file->left.bytes, state);
}

int32_t ReadAmigaParts(AmigaFile* file, IconRecord* record, AmigaReadState* state) {
    DiskObjectFields header{};
    NewIconsLines lines{};
    if (!ReadHeader(file, record, &header) || !ReadPlanarPictures(file, header, state)) return 0;
    const ToolTypesOutcome texts = ReadTexts(file, header, record, state, &lines);
    if (texts == ToolTypesFailed || !ReadNewIconsPictures(lines, record, state)) return 0;
    // A tool-type block that runs past the end of the file leaves nothing
    // after it to find.
    return texts == ToolTypesCutShort || ReadTrailingSections(file, header, record, state);
}

}  // namespace

int32_t ReadAmigaIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget) {
    IconImage* last = nullptr;
    AmigaReadState state{&record->images, &last, {}, nullptr, budget};
    AmigaFile file{stream, {StreamBytesLeft(stream)}};
    const int32_t result = ReadAmigaParts(&file, record, &state);
    if (result && state.primary) state.primary->flags |= IconImagePrimary;
    ReleaseScratch(&state.scratch);
    return result;
}
