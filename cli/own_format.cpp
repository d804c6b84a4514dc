#include "own_format.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <fmt/core.h>

#include "extract.h"
#include "icon_file.h"

namespace pictra::cli {

namespace {

constexpr int32_t kTrueColourDepth = 32;
constexpr std::size_t kChunkHeaderSize = 8;  // length and type
constexpr std::size_t kFormHeaderSize = 12;  // "FORM", size, "ICON"
constexpr std::string_view kNewIconsMarker = "*** DON'T EDIT THE FOLLOWING LINES!! ***";

uint32_t bigEndian32(std::span<const uint8_t> bytes, std::size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

bool textAt(std::span<const uint8_t> bytes, std::size_t at, std::string_view text) {
    return at <= bytes.size() && bytes.size() - at >= text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, uint8_t byte) { return static_cast<uint8_t>(c) == byte; });
}

std::size_t find(std::span<const uint8_t> bytes, std::string_view text, std::size_t from) {
    for (std::size_t at = from; at < bytes.size(); ++at)
        if (textAt(bytes, at, text)) return at;
    return bytes.size();
}

// Whether a FORM ICON in `bytes` holds a chunk of type `id`. The chunks are
// walked within the FORM's size and the file; the walk moves forward on
// every step.
bool formHoldsChunk(std::span<const uint8_t> bytes, std::string_view id) {
    for (std::size_t form = find(bytes, "FORM", 0); form < bytes.size(); form = find(bytes, "FORM", form + 1)) {
        if (!textAt(bytes, form + 8, "ICON")) continue;
        const uint64_t formEnd = std::min<uint64_t>(form + uint64_t{8} + bigEndian32(bytes, form + 4), bytes.size());
        for (uint64_t at = form + kFormHeaderSize; at + kChunkHeaderSize <= formEnd;) {
            if (textAt(bytes, static_cast<std::size_t>(at), id)) return true;
            const uint32_t length = bigEndian32(bytes, static_cast<std::size_t>(at) + 4);
            at += kChunkHeaderSize + uint64_t{length} + (length & 1u);
        }
    }
    return false;
}

// The module keeps the NewIcons lines in the record's tool-type block
// (leaving them out of the list it hands over) and decodes them only after
// the marker, which it drops.
bool carriesNewIcons(const IconRecord& record, std::span<const uint8_t> bytes) {
    if (!record.toolTypes || find(bytes, kNewIconsMarker, 0) == bytes.size()) return false;
    std::size_t count = 0;
    for (const char* text = record.toolTypes; *text && count < kMaxListLength; text += std::strlen(text) + 1, ++count)
        if (std::string_view(text).starts_with("IM1=")) return true;
    return false;
}

bool hasTrueColour(const IconImage* images) {
    std::size_t count = 0;
    for (const IconImage* image = images; image && count < kMaxListLength; image = image->next, ++count)
        if (image->depth == kTrueColourDepth) return true;
    return false;
}

}  // namespace

std::string ownSaverName(std::string_view headerFormat, const IconRecord& record,
                         std::span<const uint8_t> bytes) {
    if (headerFormat == "PNG") return "PNG";
    if (headerFormat != "AMIGAOS") return "";
    if (hasTrueColour(record.images)) return "AMIGAOS40";
    if (formHoldsChunk(bytes, "IMAG")) return "AMIGAOS35";
    if (carriesNewIcons(record, bytes)) return "NEWICON";
    return "AMIGAOS";
}

std::optional<std::string> pictureDifference(const IconImage* before, const IconImage* after) {
    const auto shape = [](const IconImage& image) {
        return fmt::format("{}x{}, depth {}, flags {}, transparent pen {}", image.width, image.height, image.depth,
                           image.flags, image.transparentPen);
    };
    std::size_t index = 0;
    for (; before && after && index < kMaxListLength; before = before->next, after = after->next, ++index) {
        // A deeper picture holds the same pens: a classic 1-bit picture is
        // written with two planes and shows exactly as before.
        if (before->width != after->width || before->height != after->height || before->flags != after->flags ||
            before->transparentPen != after->transparentPen || after->depth < before->depth)
            return fmt::format("change picture {} ({}) into {}", index, shape(*before), shape(*after));
        std::string error;
        const auto old = expandPicture(*before, error);
        const auto now = expandPicture(*after, error);
        if (!old || !now || *old != *now) return fmt::format("change the pixels of picture {}", index);
    }
    std::size_t more = 0;
    for (; before && more < kMaxListLength; before = before->next) ++more;
    if (more) return fmt::format("lose {} of its pictures", more);
    for (; after && more < kMaxListLength; after = after->next) ++more;
    if (more) return fmt::format("add {} pictures", more);
    return std::nullopt;
}

}  // namespace pictra::cli
