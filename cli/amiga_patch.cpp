#include "amiga_patch.h"

#include <algorithm>
#include <array>
#include <cstring>

// The module's record sizes, magic word, planar row rule and NewIcons line
// rules: the walk sees a file exactly as the module's reader does.
#include "amiga/icon_layout.h"
#include "amiga/icon_strings.h"
#include "amiga/planar_codec.h"
#include "frame/bytes.h"
#include "frame/magic.h"
#include "model/attributes.h"

namespace pictra::cli {

namespace {

// The DiskObject words the walk and the edit use (big-endian).
constexpr uint32_t kSelectRenderAt = 26;  // set: a second picture follows
constexpr uint32_t kUserDataAt = 44;      // 0: an old-style icon
constexpr uint32_t kTypeAt = 48;          // one byte
constexpr uint32_t kDefaultToolAt = 50;   // presence words: set when the section follows
constexpr uint32_t kToolTypesAt = 54;
constexpr uint32_t kCurrentXAt = 58;
constexpr uint32_t kCurrentYAt = 62;
constexpr uint32_t kDrawerDataAt = 66;
constexpr uint32_t kToolWindowAt = 70;
constexpr uint32_t kStackSizeAt = 74;
constexpr uint32_t kPresent = 1;  // the presence word of a section the tool adds
// An Image header's bitmap size, 16-bit words.
constexpr uint32_t kImageWidthAt = 4;
constexpr uint32_t kImageHeightAt = 6;
constexpr uint32_t kImageDepthAt = 8;
// DrawerData begins with the window box: left, top (signed), width, height.
constexpr uint32_t kWindowLeftAt = 0;
constexpr uint32_t kWindowTopAt = 2;
constexpr uint32_t kWindowWidthAt = 4;
constexpr uint32_t kWindowHeightAt = 6;
// The DrawerData extension: a flags word, then a 16-bit view mode.
constexpr uint32_t kExtensionViewModeAt = 4;
constexpr uint32_t kShowAllFlag = 2;
constexpr uint32_t kDefaultViewMode = 1;  // what a stored 0 means
constexpr char kFormId[] = "FORM";
constexpr std::size_t kMaxFileBytes = INT32_MAX;
constexpr char kBlankLine[] = " ";

using Bytes = std::vector<uint8_t>;
using Extension = std::array<uint8_t, DrawerExtensionBytes>;

// A drawer window the icon did not have, with the settings the module's
// writer gives one.
std::array<uint8_t, DrawerDataBytes> newDrawerData() {
    std::array<uint8_t, DrawerDataBytes> bytes{};
    bytes[8] = 0xFF;                          // detail pen
    bytes[9] = 0xFF;                          // block pen
    PokeBE32(bytes.data() + 14, 0x0200127F);  // window flags
    PokeBE16(bytes.data() + 38, 100);         // minimum width
    PokeBE16(bytes.data() + 40, 70);          // minimum height
    PokeBE16(bytes.data() + 42, 0xFFFF);      // maximum width
    PokeBE16(bytes.data() + 44, 0xFFFF);      // maximum height
    PokeBE16(bytes.data() + 46, 1);           // screen type: Workbench
    return bytes;
}

struct Section {
    uint32_t at = 0;
    uint32_t size = 0;  // a string's length word included
};

// A stored tool type, and whether the module hands it over as one.
struct StoredText {
    Section section;
    std::string text;  // up to the first NUL
    bool handedOver = true;
};

// Where the parts of an icon's classic layout lie.
struct ClassicLayout {
    bool oldStyle = false;
    std::optional<uint32_t> drawer;  // the DrawerData record
    Section pictures;                // Image headers and planes
    std::optional<Section> defaultTool;
    std::optional<Section> toolTypes;  // the count word and every string
    std::vector<StoredText> texts;
    uint32_t toolWindowAt = 0;  // past the tool types
    uint32_t afterTexts = 0;    // past the tool window: where the extension would stand
};

// Reads forward through the file; every step is held against what is left.
class Walk {
public:
    explicit Walk(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint32_t at() const { return at_; }
    uint32_t left() const { return static_cast<uint32_t>(bytes_.size()) - at_; }
    bool skip(uint64_t length) {
        if (length > left()) return false;
        at_ += static_cast<uint32_t>(length);
        return true;
    }
    bool word(uint32_t* value) {
        return PeekBE32(bytes_.data(), static_cast<uint32_t>(bytes_.size()), at_, value) && skip(StringLengthBytes);
    }
    // A length word and that many bytes.
    bool string(Section* section) {
        section->at = at_;
        uint32_t length = 0;
        if (!word(&length) || !skip(length)) return false;
        section->size = at_ - section->at;
        return true;
    }
    // An Image header and its planes: at most eight planes of height rows.
    bool picture() {
        uint32_t width = 0, height = 0, depth = 0;
        const auto size = static_cast<uint32_t>(bytes_.size());
        if (!PeekBE16(bytes_.data(), size, at_ + kImageWidthAt, &width) ||
            !PeekBE16(bytes_.data(), size, at_ + kImageHeightAt, &height) ||
            !PeekBE16(bytes_.data(), size, at_ + kImageDepthAt, &depth) || !skip(ImageHeaderBytes))
            return false;
        return depth <= MaxPlanarDepth && skip(uint64_t{depth} * height * PlanarRowBytes(width));
    }

private:
    std::span<const uint8_t> bytes_;
    uint32_t at_ = 0;
};

uint32_t word32(std::span<const uint8_t> bytes, uint32_t at) {
    uint32_t value = 0;
    PeekBE32(bytes.data(), static_cast<uint32_t>(bytes.size()), at, &value);
    return value;
}

std::string storedText(std::span<const uint8_t> bytes, const Section& section) {
    const auto* text = reinterpret_cast<const char*>(bytes.data() + section.at + StringLengthBytes);
    return {text, TextLength(text, section.size - StringLengthBytes)};
}

bool formAt(std::span<const uint8_t> bytes, uint64_t at) {
    return at <= bytes.size() && bytes.size() - at >= 4 && std::memcmp(bytes.data() + at, kFormId, 4) == 0;
}

// Marks the texts the module does not hand over as tool types: strings of
// no bytes, the NewIcons marker and a " " line straight before it (strings
// of no bytes between them aside), and the NewIcons picture lines.
void markHandedOver(std::vector<StoredText>& texts) {
    StoredText* blank = nullptr;  // a " " line waiting for what follows it
    for (StoredText& stored : texts) {
        if (stored.section.size == StringLengthBytes) {
            stored.handedOver = false;
            continue;
        }
        if (stored.text == NewIconsMarker) {
            stored.handedOver = false;
            if (blank) blank->handedOver = false;
            blank = nullptr;
            continue;
        }
        blank = stored.text == kBlankLine ? &stored : nullptr;
        stored.handedOver = NewIconsLineImage(stored.text.c_str(), NewIconsLinePrefix) == 0;
    }
}

bool walkToolTypes(Walk& walk, std::span<const uint8_t> bytes, ClassicLayout& layout) {
    const uint32_t start = walk.at();
    uint32_t countWord = 0;
    if (!walk.word(&countWord)) return false;
    // (strings + 1) x 4; a word below 8 holds no strings. Each string takes
    // at least its length word, so the loop ends with the file.
    const uint32_t count = countWord < 8 ? 0 : (countWord >> 2) - 1;
    for (uint32_t i = 0; i < count; ++i) {
        StoredText stored;
        if (!walk.string(&stored.section)) return false;
        stored.text = storedText(bytes, stored.section);
        layout.texts.push_back(std::move(stored));
    }
    markHandedOver(layout.texts);
    layout.toolTypes = Section{start, walk.at() - start};
    return true;
}

// The classic layout of `bytes`, in the order the module's reader takes
// it, or nothing with the reason in `problem`.
std::optional<ClassicLayout> walkClassicLayout(std::span<const uint8_t> bytes, std::string& problem) {
    const auto fail = [&](const char* why) {
        problem = why;
        return std::nullopt;
    };
    // Offsets stay far from wrapping: a field is peeked a few bytes ahead.
    if (bytes.size() > kMaxFileBytes) return fail("the file is too large for an icon");
    if (bytes.size() < DiskObjectBytes || word32(bytes, 0) != MagicAmigaIcon)
        return fail("the file does not begin with an Amiga icon's header");
    ClassicLayout layout;
    layout.oldStyle = word32(bytes, kUserDataAt) == 0;
    Walk walk(bytes);
    walk.skip(DiskObjectBytes);
    if (word32(bytes, kDrawerDataAt)) {
        layout.drawer = walk.at();
        if (!walk.skip(DrawerDataBytes)) return fail("the drawer window runs past the end of the file");
    }
    layout.pictures.at = walk.at();
    if (!walk.picture() || (word32(bytes, kSelectRenderAt) && !walk.picture()))
        return fail("a picture runs past the end of the file");
    layout.pictures.size = walk.at() - layout.pictures.at;
    if (word32(bytes, kDefaultToolAt)) {
        Section tool;
        if (!walk.string(&tool)) return fail("the default tool runs past the end of the file");
        layout.defaultTool = tool;
    }
    if (word32(bytes, kToolTypesAt) && !walkToolTypes(walk, bytes, layout))
        return fail("the tool types run past the end of the file");
    layout.toolWindowAt = walk.at();
    Section toolWindow;
    if (word32(bytes, kToolWindowAt) && !walk.string(&toolWindow))
        return fail("the tool window runs past the end of the file");
    layout.afterTexts = walk.at();
    return layout;
}

void append(Bytes& out, std::span<const uint8_t> bytes, uint32_t from, uint32_t size) {
    out.insert(out.end(), bytes.begin() + from, bytes.begin() + from + size);
}

void appendString(Bytes& out, const std::string& text) {
    std::array<uint8_t, StringLengthBytes> length{};
    PokeBE32(length.data(), static_cast<uint32_t>(text.size() + 1));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// A presence word: kept while its section stays, set when one is added.
void setPresence(uint8_t* header, uint32_t at, bool present) {
    uint32_t word = 0;
    PeekBE32(header, DiskObjectBytes, at, &word);
    if (!present)
        PokeBE32(header + at, 0);
    else if (word == 0)
        PokeBE32(header + at, kPresent);
}

// The tool types as `wanted` lists them: texts the file stores alike keep
// their bytes, new ones are stored with a closing NUL, and every text the
// module does not hand over follows them in its order. Empty when nothing
// is left to store.
Bytes toolTypeBlock(std::span<const uint8_t> bytes, const ClassicLayout& layout, const std::vector<std::string>& wanted) {
    Bytes strings;
    std::vector<bool> used(layout.texts.size());
    uint64_t count = 0;
    for (const std::string& text : wanted) {
        std::size_t i = 0;
        while (i < layout.texts.size() && (used[i] || !layout.texts[i].handedOver || layout.texts[i].text != text)) ++i;
        if (i < layout.texts.size()) {
            used[i] = true;
            append(strings, bytes, layout.texts[i].section.at, layout.texts[i].section.size);
        } else {
            appendString(strings, text);
        }
        ++count;
    }
    for (const StoredText& stored : layout.texts)
        if (!stored.handedOver) {
            append(strings, bytes, stored.section.at, stored.section.size);
            ++count;
        }
    if (count == 0) return {};
    Bytes block(StringLengthBytes);
    PokeBE32(block.data(), static_cast<uint32_t>((count + 1) * 4));  // (strings + 1) x 4
    block.insert(block.end(), strings.begin(), strings.end());
    return block;
}

struct DrawerFlags {
    int32_t showAll;
    int32_t viewMode;
};

// The flags the reader takes from an extension's bytes.
DrawerFlags readFlags(const Extension& extension) {
    uint32_t flags = 0, viewMode = 0;
    PeekBE32(extension.data(), DrawerExtensionBytes, 0, &flags);
    PeekBE16(extension.data(), DrawerExtensionBytes, kExtensionViewModeAt, &viewMode);
    return {(flags & kShowAllFlag) ? 1 : 0, static_cast<int32_t>(viewMode ? viewMode : kDefaultViewMode)};
}

// What the patched file holds at the extension's place: `replaced` bytes of
// the file there give way to `extension`.
struct ExtensionPatch {
    uint32_t replaced = 0;
    Bytes extension;
};

// The DrawerData extension of a new-style icon that keeps or gains a
// drawer window. The reader takes the bytes after the texts as the
// extension unless "FORM" begins there (the flags then read 0, 0); cut off
// by the end of the file they read as zeros. When they do not read as
// wanted, an extension is written over them or put before the FORM.
ExtensionPatch windowExtension(std::span<const uint8_t> bytes, const ClassicLayout& layout, const DrawerFlags& wanted) {
    const uint32_t at = layout.afterTexts;
    const bool formHere = formAt(bytes, at);
    const auto present = static_cast<uint32_t>(std::min<std::size_t>(bytes.size() - at, DrawerExtensionBytes));
    Extension extension{};
    if (!formHere) std::memcpy(extension.data(), bytes.data() + at, present);
    const DrawerFlags read = formHere ? DrawerFlags{0, 0} : readFlags(extension);
    if (read.showAll == wanted.showAll && sameViewMode(read.viewMode, wanted.viewMode)) return {};
    // Six bytes a new-style icon passes over before a FORM become the
    // extension of a window it gains; anywhere else the bytes there were
    // not read as one, and stay after it.
    const bool takesPlace = !formHere && (layout.drawer || formAt(bytes, uint64_t{at} + DrawerExtensionBytes));
    if (!takesPlace) extension = {};
    uint32_t flags = 0;
    PeekBE32(extension.data(), DrawerExtensionBytes, 0, &flags);
    PokeBE32(extension.data(), wanted.showAll ? flags | kShowAllFlag : flags & ~kShowAllFlag);
    PokeBE16(extension.data() + kExtensionViewModeAt, static_cast<uint32_t>(wanted.viewMode));
    return {takesPlace ? present : 0, Bytes(extension.begin(), extension.end())};
}

// Every value fits its field, and every count and length its word.
bool fitsFields(const AmigaAttributes& wanted, const ClassicLayout& layout) {
    const auto fitsText = [](const std::string& text) { return text.size() < kMaxFileBytes; };
    if (wanted.type < 0 || wanted.type > UINT8_MAX || (wanted.defaultTool && !fitsText(*wanted.defaultTool)) ||
        wanted.toolTypes.size() + layout.texts.size() >= UINT32_MAX / 4 - 1 ||
        !std::all_of(wanted.toolTypes.begin(), wanted.toolTypes.end(), fitsText))
        return false;
    const auto edge = [](int32_t value) { return value >= INT16_MIN && value <= INT16_MAX; };
    const auto side = [](int32_t value) { return value >= 0 && value <= UINT16_MAX; };
    return edge(wanted.drawerLeft) && edge(wanted.drawerTop) && side(wanted.drawerWidth) && side(wanted.drawerHeight) &&
           side(wanted.drawerViewMode) && (wanted.drawerShowAll == 0 || wanted.drawerShowAll == 1);
}

bool holdsWindow(const AmigaAttributes& wanted) {
    return wanted.drawerLeft || wanted.drawerTop || wanted.drawerWidth || wanted.drawerHeight ||
           wanted.drawerViewMode || wanted.drawerShowAll;
}

// Whether the patched icon has drawer data: it gains them when it is to
// hold a window, and loses them when it stops being a disk, drawer or
// trashcan and is to hold none.
bool keepsWindow(std::span<const uint8_t> bytes, const ClassicLayout& layout, const AmigaAttributes& wanted) {
    if (holdsWindow(wanted)) return true;
    if (!layout.drawer) return false;
    return opensWindow(wanted.type) || bytes[kTypeAt] == static_cast<uint32_t>(wanted.type);
}

// The default tool, the tool types and the tool window as wanted, and
// whether a tool-type block is among them.
struct PatchedTexts {
    Bytes bytes;
    bool toolTypes = false;
};

PatchedTexts patchedTexts(std::span<const uint8_t> bytes, const ClassicLayout& layout, const AmigaAttributes& wanted) {
    PatchedTexts texts;
    std::optional<std::string> defaultTool;
    if (layout.defaultTool) defaultTool = storedText(bytes, *layout.defaultTool);
    if (defaultTool == wanted.defaultTool && layout.defaultTool)
        append(texts.bytes, bytes, layout.defaultTool->at, layout.defaultTool->size);
    else if (wanted.defaultTool)
        appendString(texts.bytes, *wanted.defaultTool);
    std::vector<std::string> toolTypes;
    for (const StoredText& stored : layout.texts)
        if (stored.handedOver) toolTypes.push_back(stored.text);
    if (toolTypes == wanted.toolTypes && layout.toolTypes) {
        append(texts.bytes, bytes, layout.toolTypes->at, layout.toolTypes->size);
        texts.toolTypes = true;
    } else if (toolTypes != wanted.toolTypes) {
        const Bytes block = toolTypeBlock(bytes, layout, wanted.toolTypes);
        texts.bytes.insert(texts.bytes.end(), block.begin(), block.end());
        texts.toolTypes = !block.empty();
    }
    append(texts.bytes, bytes, layout.toolWindowAt, layout.afterTexts - layout.toolWindowAt);
    return texts;
}

std::array<uint8_t, DiskObjectBytes> patchedHeader(std::span<const uint8_t> bytes, const AmigaAttributes& wanted,
                                                   bool toolTypes, bool window) {
    std::array<uint8_t, DiskObjectBytes> header{};
    std::memcpy(header.data(), bytes.data(), DiskObjectBytes);
    header[kTypeAt] = static_cast<uint8_t>(wanted.type);
    PokeBE32(header.data() + kCurrentXAt, static_cast<uint32_t>(wanted.currentX));
    PokeBE32(header.data() + kCurrentYAt, static_cast<uint32_t>(wanted.currentY));
    PokeBE32(header.data() + kStackSizeAt, static_cast<uint32_t>(wanted.stackSize));
    setPresence(header.data(), kDefaultToolAt, wanted.defaultTool.has_value());
    setPresence(header.data(), kToolTypesAt, toolTypes);
    setPresence(header.data(), kDrawerDataAt, window);
    return header;
}

// The icon's DrawerData record, or a new one, with the window box wanted.
std::array<uint8_t, DrawerDataBytes> windowRecord(std::span<const uint8_t> bytes, const ClassicLayout& layout,
                                                  const AmigaAttributes& wanted) {
    std::array<uint8_t, DrawerDataBytes> record = newDrawerData();
    if (layout.drawer) std::memcpy(record.data(), bytes.data() + *layout.drawer, DrawerDataBytes);
    PokeBE16(record.data() + kWindowLeftAt, static_cast<uint32_t>(wanted.drawerLeft));
    PokeBE16(record.data() + kWindowTopAt, static_cast<uint32_t>(wanted.drawerTop));
    PokeBE16(record.data() + kWindowWidthAt, static_cast<uint32_t>(wanted.drawerWidth));
    PokeBE16(record.data() + kWindowHeightAt, static_cast<uint32_t>(wanted.drawerHeight));
    return record;
}

// The extension after the texts of a new-style icon: set as wanted when it
// keeps or gains a window, dropped with the window. Old-style icons have
// none; whatever follows their texts stays.
ExtensionPatch extensionPatch(std::span<const uint8_t> bytes, const ClassicLayout& layout,
                              const AmigaAttributes& wanted, bool window) {
    if (layout.oldStyle) return {};
    if (window) return windowExtension(bytes, layout, {wanted.drawerShowAll, wanted.drawerViewMode});
    if (!layout.drawer || formAt(bytes, layout.afterTexts)) return {};
    return {static_cast<uint32_t>(std::min<std::size_t>(bytes.size() - layout.afterTexts, DrawerExtensionBytes)), {}};
}

}  // namespace

std::optional<std::vector<uint8_t>> patchAmigaAttributes(std::span<const uint8_t> bytes,
                                                          const AmigaAttributes& wanted, std::string& problem) {
    const std::optional<ClassicLayout> layout = walkClassicLayout(bytes, problem);
    if (!layout) return std::nullopt;
    if (!fitsFields(wanted, *layout)) {
        problem = "an attribute does not fit its field";
        return std::nullopt;
    }
    const bool window = keepsWindow(bytes, *layout, wanted);
    const PatchedTexts texts = patchedTexts(bytes, *layout, wanted);
    const auto header = patchedHeader(bytes, wanted, texts.toolTypes, window);
    Bytes out(header.begin(), header.end());
    if (window) {
        const auto record = windowRecord(bytes, *layout, wanted);
        out.insert(out.end(), record.begin(), record.end());
    }
    append(out, bytes, layout->pictures.at, layout->pictures.size);
    out.insert(out.end(), texts.bytes.begin(), texts.bytes.end());
    const ExtensionPatch extension = extensionPatch(bytes, *layout, wanted, window);
    out.insert(out.end(), extension.extension.begin(), extension.extension.end());
    const uint32_t rest = layout->afterTexts + extension.replaced;
    append(out, bytes, rest, static_cast<uint32_t>(bytes.size()) - rest);
    return out;
}

}  // namespace pictra::cli
