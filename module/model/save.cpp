// SaveIcon: pick the format by its identifier, create the file and let that
// format's writer fill it.
#include "frame/formats.h"
#include "frame/host.h"
#include "model/format_io.h"
#include "model/open_stream.h"
#include "model/tags.h"

namespace {

// The Amiga and PNG formats store the attributes; their writers need them.
bool NeedsAttributes(int32_t formatIndex) { return formatIndex <= FormatPng; }

int32_t WriteIconBody(int32_t formatIndex, StreamHandle stream, IconImage* images,
                      const IconAttributes* attributes, int32_t compress) {
    switch (formatIndex) {
        case FormatAmigaOS:
        case FormatNewIcon:
        case FormatAmigaOS35:
        case FormatAmigaOS40:
            return WriteAmigaIcon(stream, formatIndex, images, attributes, compress);
        case FormatPng: return WritePngIcon(stream, images, attributes);
        case FormatWindows: return WriteWindowsIcon(stream, images, compress);
        case FormatMacOS: return WriteMacIcon(stream, images);
        default: return 0;
    }
}

}  // namespace

int32_t SaveIcon(const char* name, IconImage* images, const TagItem* tags) {
    if (!tags || tags[0].tag == TagEnd) return 0;
    auto formatId = static_cast<uint32_t>(GetTagValue(tags, SaveTagFormat, 0));
    int32_t compress = GetTagValue(tags, SaveTagCompress, 0) != 0 ? 1 : 0;
    const auto* attributes =
        reinterpret_cast<const IconAttributes*>(GetTagValue(tags, SaveTagAttributes, 0));

    // Every refusal happens before the file is created.
    int32_t formatIndex = FindFormatIndex(formatId);
    if (formatIndex < 0) return 0;
    if (NeedsAttributes(formatIndex) && !attributes) return 0;

    StreamHandle stream = OpenIconStream(name, StreamModeNewFile, 0);
    if (!stream) return 0;
    int32_t result = WriteIconBody(formatIndex, stream, images, attributes, compress);
    CloseStream(stream);
    return result;
}
