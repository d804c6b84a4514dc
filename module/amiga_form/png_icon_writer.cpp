// Writing a PNG icon: the host encodes the picture, the "icOn" chunk with
// the attributes goes in front of its IEND, and a selected partner follows
// as a second, plain PNG file. Everything is encoded and built before the
// first byte is written, so a save that fails leaves the file empty.
#include <cstring>

#include "amiga_form/icon_tags.h"
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "model/attributes.h"
#include "model/format_io.h"

namespace {

// The host's encoder ends every file with this plain IEND chunk.
constexpr uint8_t PlainIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
constexpr uint32_t IendBytes = sizeof PlainIend;
constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t ChunkTypeBytes = 4;

// A value item; left out when the value is 0 unless `always` is set.
void AppendIconTag(ByteSink* chunk, uint32_t tag, int32_t value, bool always) {
    if (value == 0 && !always) return;
    PutBE32(chunk, tag);
    PutBE32(chunk, static_cast<uint32_t>(value));
}

// A string item: the tag, the text and its zero byte; left out without text.
void AppendIconString(ByteSink* chunk, uint32_t tag, const char* text) {
    if (!text) return;
    PutBE32(chunk, tag);
    size_t length = strlen(text);
    if (length >= MaxChunkLength) {
        chunk->full = true;
        return;
    }
    PutBytes(chunk, text, static_cast<uint32_t>(length) + 1);
}

// Drawer flags from show-all and the view mode. The item is written
// whenever it says something, even when its value is 0 (view mode 2), and
// left out only for view mode 0 with show-all off, which it then reads as.
bool DrawerFlagsWanted(const IconAttributes* attributes) {
    return (attributes->drawerViewMode >= 1 && attributes->drawerViewMode <= 5) ||
           (attributes->drawerShowAll & 1);
}

int32_t DrawerFlags(const IconAttributes* attributes) {
    uint32_t flags = (attributes->drawerShowAll & 1) ? icon_tags::FlagShowAll : 0;
    int32_t mode = attributes->drawerViewMode;
    if (mode == 1) flags |= icon_tags::FlagViewMode1;
    if (mode >= icon_tags::ViewModeBase && mode <= icon_tags::LastViewMode) flags |= static_cast<uint32_t>(mode - icon_tags::ViewModeBase) << icon_tags::ViewModeShift;
    return static_cast<int32_t>(flags);
}

void AppendAttributes(ByteSink* chunk, const IconAttributes* attributes) {
    PutBE32(chunk, icon_tags::ChunkType);
    int32_t type = attributes->type ? attributes->type : IconTypeTool;
    AppendIconTag(chunk, icon_tags::Type, type, true);
    AppendIconTag(chunk, icon_tags::CurrentX, attributes->currentX, false);
    AppendIconTag(chunk, icon_tags::CurrentY, attributes->currentY, false);
    AppendIconTag(chunk, icon_tags::StackSize, attributes->stackSize, false);
    // Unlike the classic record, which keeps a window for any icon, drawer
    // items go only with icons that open a window: a reader that finds them
    // in a chunk without a type takes the icon for a drawer.
    if (OpensWindow(attributes->type)) {
        AppendIconTag(chunk, icon_tags::DrawerLeft, attributes->drawerLeft, false);
        AppendIconTag(chunk, icon_tags::DrawerTop, attributes->drawerTop, false);
        AppendIconTag(chunk, icon_tags::DrawerWidth, attributes->drawerWidth, false);
        AppendIconTag(chunk, icon_tags::DrawerHeight, attributes->drawerHeight, false);
        if (DrawerFlagsWanted(attributes))
            AppendIconTag(chunk, icon_tags::DrawerFlags, DrawerFlags(attributes), true);
    }
    AppendIconString(chunk, icon_tags::DefaultTool, attributes->defaultTool);
    if (attributes->toolTypes)
        for (char** text = attributes->toolTypes; *text; ++text) AppendIconString(chunk, icon_tags::ToolType, *text);
}

// Measures, allocates (memory tag "pbuf") and fills the chunk: its type and
// data.
int32_t BuildIconChunk(ByteSink* chunk, const IconAttributes* attributes) {
    ByteSink measure{nullptr, MaxChunkLength, 0, false};
    AppendAttributes(&measure, attributes);
    if (measure.full) return 0;
    *chunk = ByteSink{static_cast<uint8_t*>(AllocMemory(measure.used, 0, "pbuf")), measure.used, 0, false};
    if (!chunk->data) return 0;
    AppendAttributes(chunk, attributes);
    return !chunk->full;
}

// A host-encoded PNG, held until it is written.
struct EncodedPng {
    StreamHandle output;
    const void* bytes;
    uint32_t size;
};

int32_t Encode(const IconImage* image, EncodedPng* png) {
    png->output = EncodePngImage(image, &png->bytes, &png->size);
    return png->output != nullptr;
}

void Release(EncodedPng* png) {
    if (png->output) CloseMemoryOutput(png->output);
    png->output = nullptr;
}

bool EndsWithPlainIend(const EncodedPng& png) {
    return png.size >= IendBytes &&
           memcmp(static_cast<const uint8_t*>(png.bytes) + png.size - IendBytes, PlainIend, IendBytes) == 0;
}

// The first 32-bit picture, whatever its flags.
const IconImage* ChooseNormal(const IconImage* images) {
    for (const IconImage* image = images; image; image = image->next)
        if (image->depth == 32 && image->pixels && image->width > 0 && image->height > 0) return image;
    return nullptr;
}

// Its selected partner: the next picture, when it is a selected 32-bit
// picture of the same size.
const IconImage* ChoosePartner(const IconImage* normal) {
    const IconImage* next = normal->next;
    if (!next || (normal->flags & IconImageSelected) || !(next->flags & IconImageSelected)) return nullptr;
    if (next->depth != 32 || !next->pixels || next->width != normal->width || next->height != normal->height)
        return nullptr;
    return next;
}

void WriteChunk(StreamHandle stream, const ByteSink& chunk) {
    uint8_t field[4];
    PokeBE32(field, chunk.used - ChunkTypeBytes);  // u32 data length
    WriteStream(stream, field, 4);
    WriteStream(stream, chunk.data, static_cast<int32_t>(chunk.used));  // type and data
    PokeBE32(field, Crc32Block(chunk.data, chunk.used));  // u32 CRC of type and data
    WriteStream(stream, field, 4);
}

}  // namespace

int32_t WritePngIcon(StreamHandle stream, IconImage* images, const IconAttributes* attributes) {
    const IconAttributes none{};
    if (!attributes) attributes = &none;
    const IconImage* normal = ChooseNormal(images);
    if (!normal) return 0;
    const IconImage* partner = ChoosePartner(normal);

    ByteSink chunk{};
    EncodedPng first{};
    EncodedPng second{};
    int32_t ok = BuildIconChunk(&chunk, attributes) && Encode(normal, &first) && EndsWithPlainIend(first) &&
                 (!partner || Encode(partner, &second));
    if (ok) {
        WriteStream(stream, first.bytes, static_cast<int32_t>(first.size - IendBytes));
        WriteChunk(stream, chunk);
        WriteStream(stream, PlainIend, IendBytes);
        if (partner) WriteStream(stream, second.bytes, static_cast<int32_t>(second.size));
    }
    Release(&second);
    Release(&first);
    if (chunk.data) FreeMemory(chunk.data);
    return ok;
}
