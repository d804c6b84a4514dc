#include "amiga_edit.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include <fmt/core.h>

#include "errors.h"
#include "icon_file.h"
#include "text.h"

namespace pictra::cli {

namespace {

constexpr std::array<const char*, 8> kTypeNames{"disk",    "drawer", "tool", "project",
                                                "garbage", "device", "kick", "appicon"};
constexpr int32_t kMaxType = 255;      // the type is one byte in the file
// The drawer window's fields are 16 bits: the edges signed, the size not.
constexpr int64_t kMinWindowEdge = INT16_MIN;
constexpr int64_t kMaxWindowEdge = INT16_MAX;
constexpr int64_t kMaxWindowSize = UINT16_MAX;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Tool-type names compare as the desktop compares them: without regard to
// the case of ASCII letters.
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

std::string shown(const std::optional<std::string>& latin1) {
    return latin1 ? "\"" + printable(latin1ToUtf8(*latin1)) + "\"" : "(none)";
}

std::string numberShown(const char* field, int32_t value) {
    if (std::string_view(field) == "type")
        if (const char* name = iconTypeName(value)) return fmt::format("{} ({})", value, name);
    if (value == kNoIconPosition && (std::string_view(field) == "currentX" || std::string_view(field) == "currentY"))
        return "none";
    return fmt::format("{}", value);
}

// The entries of `list` that `other` lacks, each occurrence matched once.
std::vector<std::string> unmatched(const std::vector<std::string>& list, const std::vector<std::string>& other) {
    std::vector<bool> used(other.size());
    std::vector<std::string> left;
    for (const std::string& text : list) {
        std::size_t i = 0;
        while (i < other.size() && (used[i] || other[i] != text)) ++i;
        if (i == other.size())
            left.push_back(text);
        else
            used[i] = true;
    }
    return left;
}

}  // namespace

bool opensWindow(int32_t type) { return type == kDiskType || type == kDrawerType || type == kGarbageType; }

bool sameViewMode(int32_t a, int32_t b) { return a == b || (a <= 1 && b <= 1 && a >= 0 && b >= 0); }

const char* iconTypeName(int32_t type) {
    return type >= 1 && type <= static_cast<int32_t>(kTypeNames.size()) ? kTypeNames[type - 1] : nullptr;
}

AmigaAttributes copyAttributes(const std::string& file, const IconAttributes& attributes) {
    AmigaAttributes copy;
    copy.type = attributes.type;
    copy.currentX = attributes.currentX;
    copy.currentY = attributes.currentY;
    copy.drawerLeft = attributes.drawerLeft;
    copy.drawerTop = attributes.drawerTop;
    copy.drawerWidth = attributes.drawerWidth;
    copy.drawerHeight = attributes.drawerHeight;
    copy.drawerViewMode = attributes.drawerViewMode;
    copy.drawerShowAll = attributes.drawerShowAll;
    copy.stackSize = attributes.stackSize;
    if (attributes.defaultTool) copy.defaultTool = attributes.defaultTool;
    if (attributes.toolTypes) {
        for (char** entry = attributes.toolTypes; *entry; ++entry) {
            if (copy.toolTypes.size() == kMaxListLength)
                throw FileError(file, "the icon's tool-type list does not end");
            copy.toolTypes.emplace_back(*entry);
        }
    }
    return copy;
}

IconAttributes attributeRecord(const AmigaAttributes& attributes, std::vector<char*>& pointers) {
    pointers.clear();
    // The module only reads the texts; its record type is not const.
    for (const std::string& text : attributes.toolTypes) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    IconAttributes record{};
    record.type = attributes.type;
    record.drawerViewMode = attributes.drawerViewMode;
    record.currentX = attributes.currentX;
    record.currentY = attributes.currentY;
    record.drawerLeft = attributes.drawerLeft;
    record.drawerTop = attributes.drawerTop;
    record.drawerWidth = attributes.drawerWidth;
    record.drawerHeight = attributes.drawerHeight;
    record.stackSize = attributes.stackSize;
    record.defaultTool = attributes.defaultTool ? attributes.defaultTool->c_str() : nullptr;
    record.toolTypes = attributes.toolTypes.empty() ? nullptr : pointers.data();
    record.drawerShowAll = attributes.drawerShowAll;
    return record;
}

bool AttributeEdit::empty() const {
    return !type && !defaultTool && !clearToolTypes && removeToolTypes.empty() && setToolTypes.empty() &&
           addToolTypes.empty() && !stackSize && !position && !changesDrawer();
}

std::string_view toolTypeName(std::string_view toolType) { return toolType.substr(0, toolType.find('=')); }

AmigaAttributes applyEdit(AmigaAttributes attributes, const AttributeEdit& edit) {
    if (edit.type && *edit.type != attributes.type && !opensWindow(*edit.type)) {
        // The window belongs to the icons that open one: an icon that stops
        // being one has none.
        attributes.drawerLeft = attributes.drawerTop = attributes.drawerWidth = attributes.drawerHeight = 0;
        attributes.drawerViewMode = attributes.drawerShowAll = 0;
    }
    if (edit.type) attributes.type = *edit.type;
    if (edit.defaultTool) attributes.defaultTool = *edit.defaultTool;
    std::vector<std::string>& toolTypes = attributes.toolTypes;
    if (edit.clearToolTypes) toolTypes.clear();
    for (const std::string& name : edit.removeToolTypes)
        std::erase_if(toolTypes, [&](const std::string& each) { return sameName(toolTypeName(each), name); });
    for (const std::string& assignment : edit.setToolTypes) {
        // The desktop takes the first entry of a name, so that one is replaced.
        const auto found = std::find_if(toolTypes.begin(), toolTypes.end(), [&](const std::string& each) {
            return sameName(toolTypeName(each), toolTypeName(assignment));
        });
        if (found == toolTypes.end())
            toolTypes.push_back(assignment);
        else
            *found = assignment;
    }
    toolTypes.insert(toolTypes.end(), edit.addToolTypes.begin(), edit.addToolTypes.end());
    if (edit.stackSize) attributes.stackSize = *edit.stackSize;
    if (edit.position) {
        attributes.currentX = (*edit.position)[0];
        attributes.currentY = (*edit.position)[1];
    }
    if (edit.drawer) {
        attributes.drawerLeft = (*edit.drawer)[0];
        attributes.drawerTop = (*edit.drawer)[1];
        attributes.drawerWidth = (*edit.drawer)[2];
        attributes.drawerHeight = (*edit.drawer)[3];
    }
    if (edit.drawerViewMode) attributes.drawerViewMode = *edit.drawerViewMode;
    if (edit.drawerShowAll) attributes.drawerShowAll = *edit.drawerShowAll ? 1 : 0;
    return attributes;
}

std::optional<std::string> editProblem(const AmigaAttributes& before, const AttributeEdit& edit) {
    const int32_t type = edit.type.value_or(before.type);
    if (edit.changesDrawer() && !opensWindow(type)) {
        const char* name = iconTypeName(type);
        return fmt::format(
            "--drawer, --view-mode and --show-all apply to icons that open a window (disk, drawer, garbage); "
            "this one is of type {}{}",
            type, name ? fmt::format(" ({})", name) : "");
    }
    return std::nullopt;
}

std::vector<std::string> describeChanges(const AmigaAttributes& before, const AmigaAttributes& after) {
    const std::array<std::tuple<const char*, int32_t, int32_t>, 10> numbers{{
        {"type", before.type, after.type},
        {"currentX", before.currentX, after.currentX},
        {"currentY", before.currentY, after.currentY},
        {"drawerLeft", before.drawerLeft, after.drawerLeft},
        {"drawerTop", before.drawerTop, after.drawerTop},
        {"drawerWidth", before.drawerWidth, after.drawerWidth},
        {"drawerHeight", before.drawerHeight, after.drawerHeight},
        {"drawerViewMode", before.drawerViewMode, after.drawerViewMode},
        {"drawerShowAll", before.drawerShowAll, after.drawerShowAll},
        {"stackSize", before.stackSize, after.stackSize},
    }};
    std::vector<std::string> lines;
    for (const auto& [field, old, now] : numbers)
        if (old != now) lines.push_back(fmt::format("{}: {} -> {}", field, numberShown(field, old), numberShown(field, now)));
    if (before.defaultTool != after.defaultTool)
        lines.push_back(fmt::format("defaultTool: {} -> {}", shown(before.defaultTool), shown(after.defaultTool)));
    if (before.toolTypes != after.toolTypes) {
        const std::size_t first = lines.size();
        for (const std::string& text : unmatched(before.toolTypes, after.toolTypes))
            lines.push_back("toolTypes: - " + shown(text));
        for (const std::string& text : unmatched(after.toolTypes, before.toolTypes))
            lines.push_back("toolTypes: + " + shown(text));
        if (lines.size() == first) lines.emplace_back("toolTypes: the same entries in another order");
    }
    return lines;
}

int32_t parseNumber(std::string_view text, int64_t low, int64_t high) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high)
        throw std::invalid_argument(
            fmt::format("'{}' is not a whole number from {} to {}", printable(text), low, high));
    return static_cast<int32_t>(value);
}

int32_t parseIconType(std::string_view text) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (sameName(text, kTypeNames[i])) return static_cast<int32_t>(i + 1);
    if (!text.empty() && text.front() >= '0' && text.front() <= '9') return parseNumber(text, 1, kMaxType);
    throw std::invalid_argument(fmt::format(
        "unknown icon type '{}' (known: disk, drawer, tool, project, garbage, device, kick, appicon, or 1-255)",
        printable(text)));
}

std::array<int32_t, 2> parsePosition(std::string_view text) {
    const auto parts = splitCommas(text);
    if (parts.size() != 2) throw std::invalid_argument(fmt::format("'{}' is not X,Y", printable(text)));
    return {parseNumber(parts[0], INT32_MIN + int64_t{1}, INT32_MAX),
            parseNumber(parts[1], INT32_MIN + int64_t{1}, INT32_MAX)};
}

std::array<int32_t, 4> parseDrawer(std::string_view text) {
    const auto parts = splitCommas(text);
    if (parts.size() != 4)
        throw std::invalid_argument(fmt::format("'{}' is not LEFT,TOP,WIDTH,HEIGHT", printable(text)));
    return {parseNumber(parts[0], kMinWindowEdge, kMaxWindowEdge), parseNumber(parts[1], kMinWindowEdge, kMaxWindowEdge),
            parseNumber(parts[2], 0, kMaxWindowSize), parseNumber(parts[3], 0, kMaxWindowSize)};
}

bool parseYesNo(std::string_view text) {
    if (sameName(text, "yes")) return true;
    if (sameName(text, "no")) return false;
    throw std::invalid_argument(fmt::format("'{}' is neither yes nor no", printable(text)));
}

std::string iconText(std::string_view utf8, bool nonEmpty) {
    if (nonEmpty && utf8.empty()) throw std::invalid_argument("an empty tool type would end the list");
    std::string latin1;
    for (std::size_t pos = 0; pos < utf8.size();) {
        // Bytes that are not UTF-8 come back as U+FFFD, outside the range too.
        const char32_t cp = nextCodePoint(utf8, pos);
        if (cp > 0xFF)
            throw std::invalid_argument(fmt::format(
                "'{}' has characters an Amiga icon cannot hold (only ISO-8859-1)", printable(utf8)));
        latin1 += static_cast<char>(cp);
    }
    return latin1;
}

std::string toolTypeAssignment(std::string_view utf8) {
    const std::size_t equals = utf8.find('=');
    if (equals == std::string_view::npos || equals == 0)
        throw std::invalid_argument(fmt::format("'{}' is not NAME=VALUE", printable(utf8)));
    return iconText(utf8, true);
}

}  // namespace pictra::cli
