#include "info.h"

#include <utility>

#include <fmt/core.h>

#include "amiga_edit.h"
#include "errors.h"
#include "icon_file.h"
#include "json.h"
#include "text.h"

namespace pictra::cli {

namespace {

// The integer attributes in the order both renderings show them.
std::vector<std::pair<const char*, int32_t>> numberFields(const IconAttributes& a) {
    return {
        {"type", a.type},
        {"currentX", a.currentX},
        {"currentY", a.currentY},
        {"drawerLeft", a.drawerLeft},
        {"drawerTop", a.drawerTop},
        {"drawerWidth", a.drawerWidth},
        {"drawerHeight", a.drawerHeight},
        {"drawerViewMode", a.drawerViewMode},
        {"drawerShowAll", a.drawerShowAll},
        {"stackSize", a.stackSize},
    };
}

std::string flagsText(uint32_t flags) {
    const std::string names = flagNames(flags);
    return names.empty() ? fmt::format("{}", flags) : fmt::format("{} ({})", flags, names);
}

}  // namespace

std::string flagNames(uint32_t flags) {
    std::string names;
    if (flags & IconImagePrimary) names += " primary";
    if (flags & IconImageSelected) names += " selected";
    return names.empty() ? names : names.substr(1);
}

IconSummary summariseIcon(const std::string& file, const std::string& format,
                          const IconAttributes& attributes, const IconImage* firstImage) {
    IconSummary icon;
    icon.file = file;
    icon.format = format;
    icon.hasAttributes = holdsAmigaAttributes(format);
    icon.numbers = attributes;
    icon.numbers.defaultTool = nullptr;
    icon.numbers.toolTypes = nullptr;
    if (attributes.defaultTool) icon.defaultTool = latin1ToUtf8(attributes.defaultTool);
    // The module keeps at most ToolTypeListMaxItems tool types, so the walk
    // sees them all and still ends on an array that does not.
    if (attributes.toolTypes) {
        for (char** entry = attributes.toolTypes; *entry && icon.toolTypes.size() < ToolTypeListMaxItems; ++entry)
            icon.toolTypes.push_back(latin1ToUtf8(*entry));
    }
    for (const IconImage* image = firstImage; image; image = image->next) {
        if (icon.images.size() == kMaxListLength)
            throw FileError(file, "the icon's picture list does not end");
        icon.images.push_back(
            {image->width, image->height, image->depth, image->flags, image->transparentPen});
    }
    return icon;
}

std::string infoJson(const IconSummary& icon) {
    JsonWriter json;
    json.beginObject();
    json.key("file").value(icon.file);
    json.key("format").value(icon.format);
    for (const auto& [name, number] : numberFields(icon.numbers)) {
        json.key(name);
        if (icon.hasAttributes)
            json.value(number);
        else
            json.null();
    }
    json.key("defaultTool");
    if (icon.defaultTool)
        json.value(*icon.defaultTool);
    else
        json.null();
    json.key("toolTypes");
    if (icon.hasAttributes) {
        json.beginArray();
        for (const std::string& text : icon.toolTypes) json.value(text);
        json.endArray();
    } else {
        json.null();
    }
    json.key("images").beginArray();
    for (const PictureSummary& image : icon.images) {
        json.beginObject();
        json.key("width").value(image.width);
        json.key("height").value(image.height);
        json.key("depth").value(image.depth);
        json.key("flags").value(int64_t{image.flags});
        json.key("transparentPen").value(image.transparentPen);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return json.text();
}

namespace {

// The Amiga attributes, one per line.
std::string attributesText(const IconSummary& icon) {
    std::string out;
    for (const auto& [name, number] : numberFields(icon.numbers)) {
        const char* type = std::string_view(name) == "type" ? iconTypeName(number) : nullptr;
        out += type ? fmt::format("{}: {} ({})\n", name, number, type)
                    : fmt::format("{}: {}\n", name, number);
    }
    out += fmt::format("defaultTool: {}\n",
                       icon.defaultTool ? printable(*icon.defaultTool) : "(none)");
    if (icon.toolTypes.empty()) {
        out += "toolTypes: (none)\n";
    } else {
        out += fmt::format("toolTypes: {}\n", icon.toolTypes.size());
        for (const std::string& text : icon.toolTypes) out += "  " + printable(text) + "\n";
    }
    return out;
}

}  // namespace

std::string infoText(const IconSummary& icon) {
    std::string out = fmt::format("file: {}\nformat: {}\n", printable(icon.file), icon.format);
    if (icon.hasAttributes) out += attributesText(icon);
    out += fmt::format("images: {}\n", icon.images.size());
    for (std::size_t i = 0; i < icon.images.size(); ++i) {
        const PictureSummary& image = icon.images[i];
        out += fmt::format("  {}: width {}, height {}, depth {}, flags {}, transparentPen {}\n", i,
                           image.width, image.height, image.depth, flagsText(image.flags),
                           image.transparentPen);
    }
    return out;
}

namespace {

// FORMAT, picture number, size, depth, flags, transparent pen, file.
constexpr std::string_view kTableRow = "{:<9} {:>3} {:>11} {:>5}  {:<16} {:>3}  {}\n";

}  // namespace

std::string infoTableHeader() {
    return fmt::format(kTableRow, "FORMAT", "#", "SIZE", "DEPTH", "FLAGS", "PEN", "FILE");
}

std::string infoTable(const IconSummary& icon) {
    const std::string file = printable(icon.file);
    if (icon.images.empty()) return fmt::format(kTableRow, icon.format, "-", "-", "-", "-", "-", file);
    std::string out;
    for (std::size_t i = 0; i < icon.images.size(); ++i) {
        const PictureSummary& image = icon.images[i];
        const std::string flags = flagNames(image.flags);
        out += fmt::format(kTableRow, icon.format, i, fmt::format("{}x{}", image.width, image.height),
                           image.depth, flags.empty() ? "-" : flags,
                           image.transparentPen < 0 ? "-" : std::to_string(image.transparentPen), file);
    }
    return out;
}

}  // namespace pictra::cli
