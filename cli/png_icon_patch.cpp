#include "png_icon_patch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

// The module's tag numbers, PNG signature and NewIcons line rule.
#include "amiga_form/icon_tags.h"
#include "frame/bytes.h"
#include "frame/magic.h"
#include "host/compression.h"
#include "model/attributes.h"

namespace pictra::cli {

namespace {

constexpr uint32_t kChunkHeaderBytes = 8;  // length, type
constexpr uint32_t kCrcBytes = 4;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kIendType = 0x49454E44;  // "IEND"
constexpr std::size_t kMaxFileBytes = INT32_MAX;
constexpr uint32_t kItemTagBytes = 4;

using Bytes = std::vector<uint8_t>;

struct Chunk {
    uint32_t at = 0;  // its length word
    uint32_t length = 0;
};

// A tag item: a value, or a text for the default tool and tool types.
struct Item {
    uint32_t tag = 0;
    uint32_t value = 0;
    std::string text;
};

bool isTextTag(uint32_t tag) { return tag == icon_tags::DefaultTool || tag == icon_tags::ToolType; }

// The one "icOn" chunk among the chunks of the first PNG, up to its IEND.
std::optional<Chunk> findIconChunk(std::span<const uint8_t> bytes, std::string& problem) {
    if (bytes.size() > kMaxFileBytes || bytes.size() < PngSignatureBytes ||
        std::memcmp(bytes.data(), PngSignature, PngSignatureBytes) != 0) {
        problem = "the file is not a PNG";
        return std::nullopt;
    }
    const auto size = static_cast<uint32_t>(bytes.size());
    std::optional<Chunk> found;
    for (uint32_t at = PngSignatureBytes, type = 0; type != kIendType;) {
        uint32_t length = 0;
        if (!PeekBE32(bytes.data(), size, at, &length) || !PeekBE32(bytes.data(), size, at + 4, &type) ||
            length > kMaxChunkLength || uint64_t{length} + kChunkHeaderBytes + kCrcBytes > size - at) {
            problem = "the PNG ends before its IEND chunk";
            return std::nullopt;
        }
        if (type == icon_tags::ChunkType && found) {
            problem = "the PNG holds more than one icOn chunk";
            return std::nullopt;
        }
        if (type == icon_tags::ChunkType) found = Chunk{at, length};
        at += kChunkHeaderBytes + length + kCrcBytes;
    }
    if (!found) problem = "the PNG holds no icOn chunk";
    return found;
}

// The chunk's tag items; nothing when one runs past its end (a text
// without its closing zero byte, a value cut off).
std::optional<std::vector<Item>> readItems(std::span<const uint8_t> data) {
    std::vector<Item> items;
    const auto length = static_cast<uint32_t>(data.size());
    for (uint32_t offset = 0; offset < length;) {
        Item item;
        if (!PeekBE32(data.data(), length, offset, &item.tag)) return std::nullopt;
        offset += kItemTagBytes;
        if (isTextTag(item.tag)) {
            const auto* text = reinterpret_cast<const char*>(data.data() + offset);
            const uint32_t characters = TextLength(text, length - offset);
            if (characters == length - offset) return std::nullopt;
            item.text.assign(text, characters);
            offset += characters + 1;
        } else {
            if (!PeekBE32(data.data(), length, offset, &item.value)) return std::nullopt;
            offset += 4;
        }
        items.push_back(std::move(item));
    }
    return items;
}

void appendWord(Bytes& out, uint32_t word) {
    std::array<uint8_t, 4> bytes{};
    PokeBE32(bytes.data(), word);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes itemBytes(const std::vector<Item>& items) {
    Bytes out;
    for (const Item& item : items) {
        appendWord(out, item.tag);
        if (isTextTag(item.tag)) {
            out.insert(out.end(), item.text.begin(), item.text.end());
            out.push_back(0);
        } else {
            appendWord(out, item.value);
        }
    }
    return out;
}

// Gives every item of `tag` the value (the reader keeps the last), or adds
// one at the end; true when it added one.
bool setValue(std::vector<Item>& items, uint32_t tag, uint32_t value) {
    bool found = false;
    for (Item& item : items)
        if (item.tag == tag) {
            item.value = value;
            found = true;
        }
    if (!found) items.push_back({tag, value, {}});
    return !found;
}

// Puts `texts` as items of `tag` where the first such item stood (at the
// end when there was none) in place of all of them; NewIcons picture lines
// among the tool types, which the module does not hand over, stay.
void setTexts(std::vector<Item>& items, uint32_t tag, const std::vector<std::string>& texts) {
    std::vector<Item> kept;
    bool placed = false;
    const auto place = [&] {
        for (const std::string& text : texts) kept.push_back({tag, 0, text});
        placed = true;
    };
    for (Item& item : items) {
        const bool picture = tag == icon_tags::ToolType && NewIconsLineImage(item.text.c_str(), NewIconsLinePrefix);
        const bool replaced = item.tag == tag && !picture;
        if (replaced && !placed) place();
        if (!replaced) kept.push_back(std::move(item));
    }
    if (!placed) place();
    items = std::move(kept);
}

// Drawer flags that read as `showAll` and `viewMode`: bit 0 shows all, bit 1
// is view mode 1, the bits above it view modes 2 to 5; view modes beyond
// them are stored as bits that name none, which read as 0.
uint32_t drawerFlags(int32_t showAll, int32_t viewMode) {
    const uint32_t all = showAll ? icon_tags::FlagShowAll : 0;
    if (viewMode == 1) return all | icon_tags::FlagViewMode1;
    if (viewMode >= icon_tags::ViewModeBase && viewMode <= icon_tags::LastViewMode)
        return all | static_cast<uint32_t>(viewMode - icon_tags::ViewModeBase) << icon_tags::ViewModeShift;
    return all | ~(icon_tags::FlagShowAll | icon_tags::FlagViewMode1);
}

// The items with the attributes that differ set. An icon whose chunk names
// no type has it inferred from its default tool and drawer items, so it
// gains its type when either changes.
void applyAttributes(std::vector<Item>& items, const AmigaAttributes& before, const AmigaAttributes& wanted) {
    const std::array<std::tuple<uint32_t, int32_t, int32_t>, 7> numbers{{
        {icon_tags::CurrentX, before.currentX, wanted.currentX},
        {icon_tags::CurrentY, before.currentY, wanted.currentY},
        {icon_tags::StackSize, before.stackSize, wanted.stackSize},
        {icon_tags::DrawerLeft, before.drawerLeft, wanted.drawerLeft},
        {icon_tags::DrawerTop, before.drawerTop, wanted.drawerTop},
        {icon_tags::DrawerWidth, before.drawerWidth, wanted.drawerWidth},
        {icon_tags::DrawerHeight, before.drawerHeight, wanted.drawerHeight},
    }};
    const bool typeNamed = std::any_of(items.begin(), items.end(), [](const Item& item) {
        return item.tag == icon_tags::Type && item.value != 0;
    });
    bool inferenceChanges = before.defaultTool.has_value() != wanted.defaultTool.has_value();
    for (const auto& [tag, old, now] : numbers) {
        const bool drawerTag = tag >= icon_tags::DrawerLeft && tag <= icon_tags::DrawerHeight;
        if (old != now && setValue(items, tag, static_cast<uint32_t>(now)) && drawerTag) inferenceChanges = true;
    }
    if ((before.drawerShowAll != wanted.drawerShowAll || before.drawerViewMode != wanted.drawerViewMode) &&
        setValue(items, icon_tags::DrawerFlags, drawerFlags(wanted.drawerShowAll, wanted.drawerViewMode)))
        inferenceChanges = true;
    if (before.type != wanted.type || (!typeNamed && inferenceChanges))
        setValue(items, icon_tags::Type, static_cast<uint32_t>(wanted.type));
    if (before.defaultTool != wanted.defaultTool)
        setTexts(items, icon_tags::DefaultTool,
                 wanted.defaultTool ? std::vector<std::string>{*wanted.defaultTool} : std::vector<std::string>{});
    if (before.toolTypes != wanted.toolTypes) setTexts(items, icon_tags::ToolType, wanted.toolTypes);
}

}  // namespace

std::optional<std::vector<uint8_t>> patchPngIconAttributes(std::span<const uint8_t> bytes,
                                                            const AmigaAttributes& before,
                                                            const AmigaAttributes& wanted, std::string& problem) {
    const std::optional<Chunk> chunk = findIconChunk(bytes, problem);
    if (!chunk) return std::nullopt;
    auto items = readItems(bytes.subspan(chunk->at + kChunkHeaderBytes, chunk->length));
    if (!items) {
        problem = "an item of the icOn chunk runs past its end";
        return std::nullopt;
    }
    applyAttributes(*items, before, wanted);
    // The chunk's type and data, which its CRC covers, then the CRC.
    Bytes typed;
    appendWord(typed, icon_tags::ChunkType);
    const Bytes data = itemBytes(*items);
    typed.insert(typed.end(), data.begin(), data.end());
    if (data.size() > kMaxChunkLength) {
        problem = "the attributes do not fit an icOn chunk";
        return std::nullopt;
    }
    Bytes out(bytes.begin(), bytes.begin() + chunk->at);
    appendWord(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), typed.begin(), typed.end());
    appendWord(out, host::crc32Block(typed.data(), static_cast<uint32_t>(typed.size())));
    out.insert(out.end(), bytes.begin() + chunk->at + kChunkHeaderBytes + chunk->length + kCrcBytes, bytes.end());
    return out;
}

}  // namespace pictra::cli
