// Reading a PNG icon: the host decodes the picture; the chunk walk here
// applies every "icOn" chunk to the record. A second PNG straight after the
// first one's IEND is the selected picture.
#include <cstring>

#include "amiga_form/icon_tags.h"
#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/image_bridge.h"
#include "frame/magic.h"
#include "frame/reader.h"
#include "frame/scratch.h"
#include "frame/tool_types.h"
#include "model/attributes.h"
#include "model/format_io.h"
#include "model/icon_image.h"

namespace {

constexpr uint32_t SignatureRest = PngSignatureBytes - MagicBytes;  // LoadIcon read the magic word
constexpr uint32_t ChunkHeaderBytes = 8;  // u32 length, type
constexpr uint32_t CrcBytes = 4;
constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t TypeIend = 0x49454E44;  // "IEND"

// Three transparent pixels that spell "KALDERUNO" mark a placeholder
// picture, which is not an icon.
constexpr uint32_t PlaceholderMarker[3] = {0x004B414C, 0x00444552, 0x00554E4F};

struct PngWalk {
    StreamHandle stream;
    IconRecord* record;
    PictureBudget* budget;
    LengthBudget left;  // bytes of the file not yet walked
    Scratch scratch;
    ToolTypeBlock toolTypes;
    bool drawerEvidence;
};

bool IsPlaceholder(const IconImage* image) {
    uint32_t count = 0;
    IconImageByteCount(image->width, image->height, 8, &count);
    return count >= 3 && memcmp(image->pixels, PlaceholderMarker, sizeof PlaceholderMarker) == 0;
}

// The first picture, decoded by the host from the file itself.
int32_t DecodeFirstPicture(const char* fileName, IconRecord* record, PictureBudget* budget) {
    if (!fileName) return 0;
    const TagItem tags[] = {{DecodeTagTrueColour, 1}, {TagEnd, 0}};
    IconImage* tail = nullptr;
    IconImage* image = DecodeImageToPicture(budget, fileName, tags, &record->images, &tail);
    return image && !IsPlaceholder(image);
}

// The walk's scratch block, grown to hold `length` bytes.
uint8_t* ReserveWalkScratch(PngWalk* walk, uint32_t length) {
    // A zero-length chunk still needs a block to point at.
    if (length == UINT32_MAX) return nullptr;
    return static_cast<uint8_t*>(ReserveScratch(&walk->scratch, length + 1));
}

const uint8_t* ReadIntoScratch(PngWalk* walk, uint32_t length) {
    uint8_t* block = ReserveWalkScratch(walk, length);
    return block && ReadExactly(walk->stream, block, length) ? block : nullptr;
}

// View-mode bits that name no view mode give 0, the default view.
void ApplyDrawerFlags(IconRecord* record, uint32_t flags) {
    record->drawerShowAll = (flags & icon_tags::FlagShowAll) ? 1 : 0;
    const uint32_t mode = flags >> icon_tags::ViewModeShift;
    if (flags & icon_tags::FlagViewMode1)
        record->drawerViewMode = 1;
    else
        record->drawerViewMode = mode <= static_cast<uint32_t>(icon_tags::LastViewMode - icon_tags::ViewModeBase)
                                     ? static_cast<int32_t>(mode) + icon_tags::ViewModeBase
                                     : 0;
}

// Applies one value item; 0 for a tag that no icon may carry.
int32_t ApplyValue(PngWalk* walk, uint32_t tag, uint32_t value) {
    IconRecord* record = walk->record;
    auto signedValue = static_cast<int32_t>(value);
    switch (tag) {
        case icon_tags::CurrentX: record->currentX = signedValue; return 1;
        case icon_tags::CurrentY: record->currentY = signedValue; return 1;
        case icon_tags::StackSize: record->stackSize = signedValue; return 1;
        case icon_tags::Type: record->type = signedValue; return 1;
        case icon_tags::DrawerLeft: record->drawerLeft = signedValue; break;
        case icon_tags::DrawerTop: record->drawerTop = signedValue; break;
        case icon_tags::DrawerWidth: record->drawerWidth = signedValue; break;
        case icon_tags::DrawerHeight: record->drawerHeight = signedValue; break;
        case icon_tags::DrawerFlags: ApplyDrawerFlags(record, value); break;
        case 0x8000100C:
        case 0x8000100D:
        case 0x8000100E:
        case 0x80001010:
        case 0x80001012: return 1;  // known, carried nowhere
        case 0x80001011:
        case 0x80001107: break;  // drawer-only, carried nowhere
        default: return 0;
    }
    walk->drawerEvidence = true;
    return 1;
}

int32_t StoreDefaultTool(IconRecord* record, const uint8_t* text, uint32_t length) {
    auto* tool = static_cast<char*>(AllocMemory(length + 1, 0, "deftool"));
    if (!tool) return 0;
    memcpy(tool, text, length + 1);
    if (record->defaultTool) FreeMemory(record->defaultTool);
    record->defaultTool = tool;
    return 1;
}

// Applies the tag items of one "icOn" chunk. A string or value that would
// run past the chunk's end, or a tag no icon may carry, fails.
int32_t ApplyIconChunk(PngWalk* walk, const uint8_t* data, uint32_t length) {
    uint32_t offset = 0;
    while (offset < length) {
        uint32_t tag = 0;
        if (!PeekBE32(data, length, offset, &tag)) return 0;
        offset += 4;
        if (tag == icon_tags::DefaultTool || tag == icon_tags::ToolType) {
            const auto* text = reinterpret_cast<const char*>(data + offset);
            const uint32_t textLength = TextLength(text, length - offset);
            if (textLength == length - offset) return 0;  // no NUL ends the text
            int32_t stored = tag == icon_tags::DefaultTool
                                 ? StoreDefaultTool(walk->record, data + offset, textLength)
                                 : AppendToolType(&walk->toolTypes, text, textLength);
            if (!stored) return 0;
            offset += textLength + 1;
            continue;
        }
        uint32_t value = 0;
        if (!PeekBE32(data, length, offset, &value) || !ApplyValue(walk, tag, value)) return 0;
        offset += 4;
    }
    return 1;
}

// Walks the chunks of the first PNG up to and including IEND.
int32_t WalkChunks(PngWalk* walk) {
    for (;;) {
        uint8_t header[ChunkHeaderBytes];
        if (!TakeFromBudget(&walk->left, ChunkHeaderBytes) || !ReadExactly(walk->stream, header, ChunkHeaderBytes))
            return 0;  // the file ended before IEND
        uint32_t length = 0;
        uint32_t type = 0;
        PeekBE32(header, ChunkHeaderBytes, 0, &length);
        PeekBE32(header, ChunkHeaderBytes, 4, &type);
        if (length > MaxChunkLength || !TakeFromBudget(&walk->left, length) ||
            !TakeFromBudget(&walk->left, CrcBytes))
            return 0;
        if (type == icon_tags::ChunkType) {
            const uint8_t* data = ReadIntoScratch(walk, length);
            // The CRC is not compared: a damaged attribute chunk still loads.
            if (!data || !ApplyIconChunk(walk, data, length) || !SkipForward(walk->stream, CrcBytes)) return 0;
        } else if (!SkipForward(walk->stream, length + CrcBytes)) {
            return 0;
        }
        if (type == TypeIend) return 1;
    }
}

// A second PNG file after the first one's IEND holds the selected picture;
// its own "icOn" chunks, if any, are not applied. Anything else after IEND
// is ignored, and so is a second PNG that does not decode.
int32_t ReadSelectedPicture(PngWalk* walk) {
    uint32_t rest = walk->left.bytes;
    uint8_t signature[PngSignatureBytes];
    if (rest < PngSignatureBytes || !ReadExactly(walk->stream, signature, PngSignatureBytes) ||
        memcmp(signature, PngSignature, PngSignatureBytes) != 0)
        return 1;
    uint8_t* data = ReserveWalkScratch(walk, rest);
    if (!data) return 0;
    memcpy(data, signature, PngSignatureBytes);
    if (!ReadExactly(walk->stream, data + PngSignatureBytes, rest - PngSignatureBytes)) return 0;
    IconImage* tail = walk->record->images;
    // A selected picture that does not decode is left out.
    const PictureOutcome outcome = DecodeImageBlock(walk->budget, data, rest, "png", &walk->record->images, &tail);
    if (outcome == PictureMade) tail->flags |= IconImageSelected;
    return outcome != PictureFailed;
}

// An icon whose chunks name no type is a drawer when they describe a
// drawer window, a project when it has a default tool, else a tool.
void InferType(const PngWalk& walk, IconRecord* record) {
    if (record->type != 0) return;
    if (walk.drawerEvidence)
        record->type = IconTypeDrawer;
    else
        record->type = record->defaultTool ? IconTypeProject : IconTypeTool;
}

}  // namespace

int32_t ReadPngIcon(StreamHandle stream, const char* fileName, IconRecord* record, PictureBudget* budget) {
    if (!DecodeFirstPicture(fileName, record, budget)) return 0;
    PngWalk walk{stream, record, budget, {StreamBytesLeft(stream)}, {}, {}, false};
    int32_t ok = TakeFromBudget(&walk.left, SignatureRest) && SkipForward(stream, SignatureRest) &&
                 WalkChunks(&walk) && ReadSelectedPicture(&walk);
    ReleaseScratch(&walk.scratch);
    if (ok) {
        InferType(walk, record);
        ok = StoreToolTypes(record, &walk.toolTypes);
    }
    ReleaseToolTypes(&walk.toolTypes);
    return ok;
}
