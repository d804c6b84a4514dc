// The Amiga attributes of an icon as values the tool can edit, the edits
// `pictra set` asks for, and how an edit is applied and shown. Texts are
// kept as the icon stores them, in ISO-8859-1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::cli {

// The position an icon has when the desktop places it itself.
inline constexpr int32_t kNoIconPosition = INT32_MIN;
inline constexpr int32_t kDiskType = 1;
inline constexpr int32_t kDrawerType = 2;
inline constexpr int32_t kGarbageType = 5;

// Disks, drawers and trashcans open a window, whose place and view the icon
// keeps.
bool opensWindow(int32_t type);

// Whether two drawer view modes show the window alike: 0 is the default
// view, which is by icon (1); an icon may store either.
bool sameViewMode(int32_t a, int32_t b);

struct AmigaAttributes {
    int32_t type = 0;
    int32_t currentX = 0;
    int32_t currentY = 0;
    int32_t drawerLeft = 0;
    int32_t drawerTop = 0;
    int32_t drawerWidth = 0;
    int32_t drawerHeight = 0;
    int32_t drawerViewMode = 0;
    int32_t drawerShowAll = 0;
    int32_t stackSize = 0;
    std::optional<std::string> defaultTool;
    std::vector<std::string> toolTypes;

    bool operator==(const AmigaAttributes&) const = default;
};

// A copy of the module's attribute record. Throws FileError naming `file`
// when the tool-type list does not end within any icon's length.
AmigaAttributes copyAttributes(const std::string& file, const IconAttributes& attributes);

// The record to hand to the module for saving `attributes`. It points into
// `attributes` and `pointers`, which must outlive it and stay unchanged.
IconAttributes attributeRecord(const AmigaAttributes& attributes, std::vector<char*>& pointers);

// What `pictra set` changes; every field left empty stays as it is. Tool
// types are edited in this order: cleared, removed, set, added.
struct AttributeEdit {
    std::optional<int32_t> type;
    std::optional<std::optional<std::string>> defaultTool;  // an empty inner value removes it
    bool clearToolTypes = false;
    std::vector<std::string> removeToolTypes;  // names
    std::vector<std::string> setToolTypes;     // NAME=VALUE
    std::vector<std::string> addToolTypes;
    std::optional<int32_t> stackSize;
    std::optional<std::array<int32_t, 2>> position;
    std::optional<std::array<int32_t, 4>> drawer;  // left, top, width, height
    std::optional<int32_t> drawerViewMode;
    std::optional<bool> drawerShowAll;

    bool empty() const;
    bool changesDrawer() const { return drawer || drawerViewMode || drawerShowAll; }
};

// `attributes` with `edit` applied.
AmigaAttributes applyEdit(AmigaAttributes attributes, const AttributeEdit& edit);

// Why `edit` cannot be made to an icon holding `before`, or nothing: the
// drawer window belongs to the icons that open one.
std::optional<std::string> editProblem(const AmigaAttributes& before, const AttributeEdit& edit);

// The name of a tool type: the part before "=", or all of it.
std::string_view toolTypeName(std::string_view toolType);

// One line per difference, "stackSize: 4096 -> 8192", "toolTypes: - OLD",
// "toolTypes: + NEW", with texts as printable UTF-8.
std::vector<std::string> describeChanges(const AmigaAttributes& before, const AmigaAttributes& after);

// Parsers for the option values; each throws std::invalid_argument with a
// message fit for a usage error.
int32_t parseIconType(std::string_view text);  // a name (any case) or 1-255
std::array<int32_t, 2> parsePosition(std::string_view text);  // X,Y
std::array<int32_t, 4> parseDrawer(std::string_view text);    // LEFT,TOP (16-bit signed),WIDTH,HEIGHT (0-65535)
bool parseYesNo(std::string_view text);
int32_t parseNumber(std::string_view text, int64_t low, int64_t high);
// A command-line text (UTF-8) as the icon stores it; refuses characters
// outside ISO-8859-1 and, when `nonEmpty`, an empty text.
std::string iconText(std::string_view utf8, bool nonEmpty);
// NAME=VALUE with a non-empty NAME, as the icon stores it.
std::string toolTypeAssignment(std::string_view utf8);

// The name of an Amiga icon type, or null for a number without one.
const char* iconTypeName(int32_t type);

}  // namespace pictra::cli
