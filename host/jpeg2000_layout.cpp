// The JP2 box walk and the SIZ segment, read with every length checked
// against the bytes that remain.
#include "host/jpeg2000_layout.h"

#include "host/image_codecs.h"

namespace pictra::host {
namespace {

constexpr uint32_t kBoxHeader = 8;
constexpr uint32_t kLongBoxHeader = 16;
constexpr uint32_t kCmapEntryBytes = 4;
// SOC, then SIZ: marker, Lsiz, Rsiz, eight 32-bit sizes, Csiz.
constexpr std::size_t kSizFixedBytes = 2 + 2 + 2 + 2 + 8 * 4 + 2;
constexpr std::size_t kSizComponentBytes = 3;

constexpr uint32_t boxType(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

uint32_t big16(std::span<const uint8_t> b, std::size_t at) { return uint32_t{b[at]} << 8 | b[at + 1]; }
uint32_t big32(std::span<const uint8_t> b, std::size_t at) {
    return big16(b, at) << 16 | big16(b, at + 2);
}

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> body;  // to the end of the data for a length of 0
};

// The box at the start of `bytes`; a length that runs past the data is cut
// short when `lenient`, as decoders read a final codestream box.
std::optional<Box> readBox(std::span<const uint8_t> bytes, bool lenient) {
    if (bytes.size() < kBoxHeader) return std::nullopt;
    uint64_t length = big32(bytes, 0);
    std::size_t header = kBoxHeader;
    if (length == 1) {
        if (bytes.size() < kLongBoxHeader) return std::nullopt;
        length = uint64_t{big32(bytes, 8)} << 32 | big32(bytes, 12);
        header = kLongBoxHeader;
    } else if (length == 0) {
        length = bytes.size();
    }
    if (length < header) return std::nullopt;
    if (length > bytes.size()) {
        if (!lenient) return std::nullopt;
        length = bytes.size();
    }
    return Box{big32(bytes, 4), bytes.subspan(header, static_cast<std::size_t>(length) - header)};
}

// The palette's channel count from the cmap box inside jp2h; 0 without pclr.
std::optional<uint32_t> paletteChannels(std::span<const uint8_t> header) {
    bool palette = false;
    uint32_t channels = 0;
    while (!header.empty()) {
        const auto box = readBox(header, false);
        if (!box) return std::nullopt;
        if (box->type == boxType("pclr")) palette = true;
        if (box->type == boxType("cmap")) channels = static_cast<uint32_t>(box->body.size() / kCmapEntryBytes);
        header = header.subspan(static_cast<std::size_t>(box->body.data() + box->body.size() - header.data()));
    }
    return palette ? channels : 0;
}

uint64_t tilesAlong(uint32_t size, uint32_t tileOffset, uint32_t tileSize) {
    return (uint64_t{size} - tileOffset + tileSize - 1) / tileSize;
}

std::optional<Jpeg2000Layout> readSiz(std::span<const uint8_t> codestream, std::string* error) {
    if (codestream.size() < kSizFixedBytes || big16(codestream, 0) != 0xFF4F ||
        big16(codestream, 2) != 0xFF51) {
        setError(error, "bad JPEG 2000 header");
        return std::nullopt;
    }
    const uint32_t width = big32(codestream, 8), height = big32(codestream, 12);
    const uint32_t left = big32(codestream, 16), top = big32(codestream, 20);
    const uint32_t tileWidth = big32(codestream, 24), tileHeight = big32(codestream, 28);
    const uint32_t tileLeft = big32(codestream, 32), tileTop = big32(codestream, 36);
    const uint32_t components = big16(codestream, 40);
    if (width <= left || height <= top || tileWidth == 0 || tileHeight == 0 ||
        tileLeft > left || tileTop > top || components == 0 ||
        codestream.size() - kSizFixedBytes < components * kSizComponentBytes) {
        setError(error, "bad JPEG 2000 header");
        return std::nullopt;
    }
    Jpeg2000Layout layout;
    layout.width = width - left;
    layout.height = height - top;
    layout.components = components;
    layout.tiles = tilesAlong(width, tileLeft, tileWidth) * tilesAlong(height, tileTop, tileHeight);
    return layout;
}

}  // namespace

std::optional<Jpeg2000Layout> readJpeg2000Layout(std::span<const uint8_t> bytes, bool codestream,
                                                 std::string* error) {
    if (codestream) return readSiz(bytes, error);
    uint32_t channels = 0;
    while (!bytes.empty()) {
        const auto box = readBox(bytes, true);
        if (!box) break;
        if (box->type == boxType("jp2h")) {
            const auto found = paletteChannels(box->body);
            if (!found) break;
            channels = *found;
        } else if (box->type == boxType("jp2c")) {
            auto layout = readSiz(box->body, error);
            if (layout) layout->paletteChannels = channels;
            return layout;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(box->body.data() + box->body.size() - bytes.data()));
    }
    setError(error, "bad JPEG 2000 boxes");
    return std::nullopt;
}

}  // namespace pictra::host
