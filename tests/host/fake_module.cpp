// A stand-in module for the loader's and the tool's tests. Its saver list
// never ends (every saver is "FAKE", each with the identifier after the last),
// so the host must cut the enumeration off; it counts the calls it gets.
// LoadIcon accepts files that start E3 10 00 01 'S' and hands over a fixed
// icon. SaveIcon, for the first saver, writes a short text through the host
// and then fails when the compress switch is set.
// Built with FAKE_INIT_ONLY it exports InitPlugin and ClosePlugin alone.
#include <cstring>
#include <string>

#include "pictra/plugin.h"

namespace {
HostServices* services = nullptr;
}

extern "C" {

int fakeClosePluginCalls = 0;
int fakeSaverQueries = 0;

int32_t InitPlugin(PluginInfo* info, HostServices* host) {
    services = host;
    info->version = 7;
    info->name = "fake";
    return 1;
}

void ClosePlugin(void) { ++fakeClosePluginCalls; }

}  // extern "C"

#ifndef FAKE_INIT_ONLY
namespace {

char defaultTool[] = "Caf\xE9";
char toolTypeText[] = "A=1\0B\0";
char* toolTypeArray[] = {toolTypeText, toolTypeText + 4, nullptr};

uint8_t palettePixels[] = {0, 1, 2, 1};
uint32_t palette[256] = {0x112233, 0xFF0000, 0x00FF00};
uint32_t truePixels[] = {0x80FF0000};

IconImage trueColour{nullptr, truePixels, 1, 1, 0, nullptr, -1, 32, 0};
IconImage paletted{&trueColour, palettePixels, 2, 2, IconImagePrimary, palette, 0, 2, 0};
IconRecord record{&paletted, 3, 5, 6, 0, 0, 0, 0, 0, 0, 4096, defaultTool, toolTypeText, toolTypeArray};

}  // namespace

extern "C" {

void RegisterIconSaver(SaverQuery* query) {
    ++fakeSaverQueries;
    query->formatId = query->formatId + 1;
    query->name = "FAKE";
    query->more = 1;
}

IconRecord* LoadIcon(const char* name, const TagItem* tags) {
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

IconImage* GetIconImages(IconRecord* icon) { return icon ? icon->images : nullptr; }

void FreeIcon(IconRecord*) {}

int32_t SaveIcon(const char* name, IconImage* images, const TagItem* tags) {
    uint32_t format = 0, compress = 0;
    const IconAttributes* attributes = nullptr;
    for (const TagItem* tag = tags; tag && tag->tag != TagEnd; ++tag) {
        if (tag->tag == SaveTagFormat) format = static_cast<uint32_t>(tag->value);
        if (tag->tag == SaveTagCompress) compress = static_cast<uint32_t>(tag->value);
        if (tag->tag == SaveTagAttributes) attributes = reinterpret_cast<const IconAttributes*>(tag->value);
    }
    if (format != 1 || !attributes || !attributes->defaultTool) return 0;
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
#endif
