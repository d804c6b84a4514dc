#include "amiga/icon_layout.h"

#include "amiga/planar_codec.h"
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/magic.h"
#include "frame/scratch.h"

namespace {

// The Gadget size becomes the canvas of both planar pictures.
constexpr uint32_t MaxCanvasSide = 1024;

uint32_t Field16(const uint8_t* bytes, uint32_t offset) {
    return static_cast<uint32_t>(bytes[offset]) << 8 | bytes[offset + 1];
}

uint32_t Field32(const uint8_t* bytes, uint32_t offset) {
    return Field16(bytes, offset) << 16 | Field16(bytes, offset + 2);
}

}  // namespace

DiskObjectFields ParseDiskObject(const uint8_t bytes[DiskObjectBytes]) {
    DiskObjectFields fields{};
    fields.gadgetWidth = Field16(bytes, 12);
    fields.gadgetHeight = Field16(bytes, 14);
    fields.gadgetFlags = Field16(bytes, 16);
    fields.selectRender = Field32(bytes, 26);
    fields.userData = Field32(bytes, 44);
    fields.type = bytes[48];
    fields.defaultTool = Field32(bytes, 50);
    fields.toolTypes = Field32(bytes, 54);
    fields.currentX = Field32(bytes, 58);
    fields.currentY = Field32(bytes, 62);
    fields.drawerData = Field32(bytes, 66);
    fields.toolWindow = Field32(bytes, 70);
    fields.stackSize = Field32(bytes, 74);
    return fields;
}

void ParseDrawerData(const uint8_t bytes[DrawerDataBytes], DrawerFields* drawer) {
    drawer->left = static_cast<int16_t>(Field16(bytes, 0));
    drawer->top = static_cast<int16_t>(Field16(bytes, 2));
    drawer->width = Field16(bytes, 4);
    drawer->height = Field16(bytes, 6);
}

void ParseDrawerExtension(const uint8_t bytes[DrawerExtensionBytes], DrawerFields* drawer) {
    drawer->showAll = (Field32(bytes, 0) & 2) ? 1 : 0;
    drawer->viewMode = Field16(bytes, 4);
    if (drawer->viewMode == 0) drawer->viewMode = 1;  // 0 means the default view, by icon
}

ImageHeaderFields ParseImageHeader(const uint8_t bytes[ImageHeaderBytes]) {
    return {Field16(bytes, 0), Field16(bytes, 2), Field16(bytes, 4), Field16(bytes, 6), Field16(bytes, 8)};
}

int32_t CheckImageHeader(const ImageHeaderFields& image, const DiskObjectFields& header, uint32_t available,
                         uint32_t* planeBytes) {
    return image.depth <= MaxPlanarDepth && PlanarBitmapBytes(image.width, image.height, image.depth, planeBytes) &&
           *planeBytes <= available && header.gadgetWidth <= MaxCanvasSide && header.gadgetHeight <= MaxCanvasSide;
}

void WriteDiskObject(StreamHandle stream, const DiskObjectFields& fields) {
    uint8_t bytes[DiskObjectBytes] = {};
    PokeBE32(bytes + 0, MagicAmigaIcon);         // magic 0xE310, version 1
    PokeBE16(bytes + 12, fields.gadgetWidth);    // Gadget: width
    PokeBE16(bytes + 14, fields.gadgetHeight);   // Gadget: height
    PokeBE16(bytes + 16, fields.gadgetFlags);    // Gadget: flags (highlight by image)
    PokeBE16(bytes + 18, 3);                     // Gadget: activation
    PokeBE16(bytes + 20, 1);                     // Gadget: type
    PokeBE32(bytes + 22, 1);                     // Gadget: GadgetRender
    PokeBE32(bytes + 26, fields.selectRender);   // Gadget: SelectRender
    PokeBE32(bytes + 44, fields.userData);       // Gadget: UserData (revision)
    bytes[48] = static_cast<uint8_t>(fields.type);
    PokeBE32(bytes + 50, fields.defaultTool);
    PokeBE32(bytes + 54, fields.toolTypes);
    PokeBE32(bytes + 58, fields.currentX);
    PokeBE32(bytes + 62, fields.currentY);
    PokeBE32(bytes + 66, fields.drawerData);
    PokeBE32(bytes + 70, 0);                     // tool window: never written
    PokeBE32(bytes + 74, fields.stackSize);
    WriteStream(stream, bytes, DiskObjectBytes);
}

void WriteDrawerData(StreamHandle stream, const DrawerFields& drawer) {
    uint8_t bytes[DrawerDataBytes] = {};
    PokeBE16(bytes + 0, static_cast<uint32_t>(drawer.left));  // window left edge
    PokeBE16(bytes + 2, static_cast<uint32_t>(drawer.top));   // window top edge
    PokeBE16(bytes + 4, drawer.width);    // window width
    PokeBE16(bytes + 6, drawer.height);   // window height
    bytes[8] = 0xFF;                  // detail pen
    bytes[9] = 0xFF;                  // block pen
    PokeBE32(bytes + 14, 0x0200127F);     // window flags
    PokeBE16(bytes + 38, 100);            // minimum width
    PokeBE16(bytes + 40, 70);             // minimum height
    PokeBE16(bytes + 42, 0xFFFF);         // maximum width
    PokeBE16(bytes + 44, 0xFFFF);         // maximum height
    PokeBE16(bytes + 46, 1);              // screen type: Workbench
    WriteStream(stream, bytes, DrawerDataBytes);
}

void WriteDrawerExtension(StreamHandle stream, const DrawerFields& drawer) {
    uint8_t bytes[DrawerExtensionBytes] = {};
    PokeBE32(bytes + 0, (drawer.showAll & 1) ? 2 : 0);  // drawer flags: show all files
    PokeBE16(bytes + 4, drawer.viewMode);               // view mode
    WriteStream(stream, bytes, DrawerExtensionBytes);
}

void WriteImageHeader(StreamHandle stream, const ImageHeaderFields& header) {
    uint8_t bytes[ImageHeaderBytes] = {};
    PokeBE16(bytes + 4, header.width);
    PokeBE16(bytes + 6, header.height);
    PokeBE16(bytes + 8, header.depth);
    PokeBE32(bytes + 10, 1);                                // image data
    bytes[14] = static_cast<uint8_t>((1u << header.depth) - 1);  // plane pick: every plane drawn
    WriteStream(stream, bytes, ImageHeaderBytes);
}

int32_t ReadLengthWord(AmigaFile* file, uint32_t* value) {
    uint8_t bytes[StringLengthBytes];
    if (!ReadSection(file, bytes, StringLengthBytes)) return 0;
    *value = Field32(bytes, 0);
    return 1;
}

const uint8_t* ReadIntoScratch(AmigaFile* file, AmigaReadState* state, uint32_t length) {
    if (!file->left.Holds(length)) return nullptr;
    void* block = ReserveScratch(&state->scratch, length);
    return block && ReadSection(file, block, length) ? static_cast<const uint8_t*>(block) : nullptr;
}

uint32_t PeekSection(AmigaFile* file, uint8_t* bytes, uint32_t length) {
    const uint32_t seen = file->left.Holds(length) ? length : file->left.bytes;
    if (seen == 0 || !ReadExactly(file->stream, bytes, seen)) return 0;
    SeekStream(file->stream, -static_cast<int32_t>(seen), SeekFromCurrent);
    return seen;
}
