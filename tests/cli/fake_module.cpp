// A stand-in module for the tool's own tests: one saver "FAKE" and a fixed
// icon, so that the tool's success paths run before the real readers and
// writers exist, and so that a save can be made to fail on purpose.
//
// LoadIcon accepts files that start E3 10 00 01 followed by 'S'. SaveIcon
// writes a short text through the host and fails, after writing, when the
// compress switch is set.
#include <cstring>
#include <string>

#include "pictra/plugin.h"

namespace {

constexpr uint32_t kFakeId = 0x0BADF00D;

HostServices* services = nullptr;

char defaultTool[] = "Caf\xE9";
char toolTypeText[] = "A=1\0B\0";
char* toolTypeArray[] = {toolTypeText, toolTypeText + 4, nullptr};

uint8_t palettePixels[] = {0, 1, 2, 1};
uint32_t palette[256] = {0x112233, 0xFF0000, 0x00FF00};
uint32_t truePixels[] = {0x80FF0000};

IconImage trueColour{nullptr, truePixels, 1, 1, 0, nullptr, -1, 32, 0};
IconImage paletted{&trueColour, palettePixels, 2, 2, IconImagePrimary, palette, 0, 2, 0};
IconRecord record{&paletted, 3, 5, 6, 0, 0, 0, 0, 0, 0, 4096, defaultTool, toolTypeText,
                  toolTypeArray};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t InitPlugin(PluginInfo* info, HostServices* host) {
    services = host;
    if (host)
        host->system->RegisterFormat(info, 4, "Fake icon", nullptr, "fake", kFakeId, 3);
    return 1;
}

__attribute__((visibility("default"))) void ClosePlugin(void) {}

__attribute__((visibility("default"))) void RegisterIconSaver(SaverQuery* query) {
    query->more = 0;
    query->formatId = kFakeId;
    query->name = "FAKE";
}

__attribute__((visibility("default"))) IconRecord* LoadIcon(const char* name, const TagItem* tags) {
    StreamHandle stream = services->stream->OpenStream(name, StreamModeRead);
    if (!stream) return nullptr;
    uint8_t header[5] = {};
    const int32_t got = services->stream->ReadStream(stream, header, sizeof header);
    services->stream->CloseStream(stream);
    const uint8_t wanted[5] = {0xE3, 0x10, 0x00, 0x01, 'S'};
    if (got != 5 || std::memcmp(header, wanted, 5) != 0) return nullptr;
    for (const TagItem* tag = tags; tag && tag->tag != TagEnd; ++tag) {
        if (tag->tag != LoadTagAttributes || !tag->value) continue;
        *reinterpret_cast<IconAttributes*>(tag->value) = {record.type, 0, record.currentX, record.currentY, 0, 0, 0, 0,
                                                          record.stackSize, record.defaultTool, record.toolTypeArray, 0};
    }
    return &record;
}

__attribute__((visibility("default"))) IconImage* GetIconImages(IconRecord* icon) {
    return icon ? icon->images : nullptr;
}

__attribute__((visibility("default"))) void FreeIcon(IconRecord*) {}

__attribute__((visibility("default"))) int32_t SaveIcon(const char* name, IconImage* images,
                                                        const TagItem* tags) {
    uint32_t format = 0, compress = 0;
    const IconAttributes* attributes = nullptr;
    for (const TagItem* tag = tags; tag && tag->tag != TagEnd; ++tag) {
        if (tag->tag == SaveTagFormat) format = static_cast<uint32_t>(tag->value);
        if (tag->tag == SaveTagCompress) compress = static_cast<uint32_t>(tag->value);
        if (tag->tag == SaveTagAttributes)
            attributes = reinterpret_cast<const IconAttributes*>(tag->value);
    }
    if (format != kFakeId || !attributes || !attributes->defaultTool) return 0;
    StreamHandle stream = services->stream->OpenStream(name, StreamModeNewFile);
    if (!stream) return 0;
    std::string text = "saved ";
    for (const IconImage* image = images; image; image = image->next)
        text += image->depth <= 8 ? 'p' : 't';  // palette or true colour
    text += std::string(" ") + attributes->defaultTool;
    services->stream->WriteStream(stream, text.data(), static_cast<int32_t>(text.size()));
    services->stream->CloseStream(stream);
    return compress ? 0 : 1;
}

}  // extern "C"
