// LoadIcon: open the file, recognise its format by the first four bytes,
// let that format's reader fill a new record, and hand it over.
#include "frame/host.h"
#include "frame/bytes.h"
#include "frame/magic.h"
#include "frame/reader.h"
#include "model/attributes.h"
#include "model/format_io.h"
#include "model/icon_image.h"
#include "model/open_stream.h"
#include "model/tags.h"

namespace {

// Runs the reader for `magic`; 0 for a word no reader claims.
int32_t ReadIconBody(uint32_t magic, StreamHandle stream, const char* name, IconRecord* record,
                     PictureBudget* budget) {
    switch (magic) {
        case MagicMacIcon: return ReadMacIcon(stream, record, budget);
        case MagicPngIcon: return ReadPngIcon(stream, name, record, budget);
        case MagicAmigaIcon: return ReadAmigaIcon(stream, record, budget);
        case MagicWindowsIcon: return ReadWindowsIcon(stream, record, budget);
        default: return 0;
    }
}

// The record read from `stream`, or null. The stream stays open.
IconRecord* ReadIcon(StreamHandle stream, const char* name, PictureBudget* budget) {
    auto* record = static_cast<IconRecord*>(AllocMemory(sizeof(IconRecord), 1, "iconinfo"));
    if (!record) return nullptr;
    // A file shorter than the magic word matches none: the four bytes are
    // read as one block, never as bytes that read 0 past the end.
    uint8_t bytes[MagicBytes];
    uint32_t magic = 0;
    if (!ReadExactly(stream, bytes, MagicBytes) || !PeekBE32(bytes, MagicBytes, 0, &magic) ||
        !ReadIconBody(magic, stream, name, record, budget)) {
        FreeIcon(record);
        return nullptr;
    }
    return record;
}

}  // namespace

IconRecord* LoadIcon(const char* name, const TagItem* tags) {
    if (!Host) return nullptr;  // InitPlugin never received services
    uintptr_t openParameter = GetTagValue(tags, LoadTagOpenParameter, 0);
    auto* attributes =
        reinterpret_cast<IconAttributes*>(GetTagValue(tags, LoadTagAttributes, 0));

    StreamHandle stream = OpenIconStream(name, StreamModeRead, openParameter);
    if (!stream) return nullptr;
    PictureBudget budget = LoadPictureBudget(tags);
    IconRecord* record = ReadIcon(stream, name, &budget);
    CloseStream(stream);
    if (!record || !attributes) return record;

    if (!HandOverAttributes(record, attributes)) {
        FreeIcon(record);
        return nullptr;
    }
    return record;
}
