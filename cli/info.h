// What `pictra info` reports about one icon, and its two renderings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::cli {

struct PictureSummary {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t flags = 0;
    int32_t transparentPen = -1;
};

struct IconSummary {
    std::string file;
    std::string format;  // recognised from the header: AMIGAOS, PNG, WINDOWS, MACOS
    bool hasAttributes = false;  // the format holds the fields below
    IconAttributes numbers{};  // only the integer fields are used
    std::optional<std::string> defaultTool;  // UTF-8
    std::vector<std::string> toolTypes;      // UTF-8
    std::vector<PictureSummary> images;      // in list order
};

// Copies what `info` shows out of a loaded icon. Amiga texts are
// ISO-8859-1 and come out as UTF-8. The attributes are shown only for the
// formats that hold them: the text leaves them out, the JSON gives null. Throws FileError naming `file` when the
// picture list is longer than any icon holds.
IconSummary summariseIcon(const std::string& file, const std::string& format,
                          const IconAttributes& attributes, const IconImage* firstImage);

// The names of the picture flags set, "primary", "selected" or both with a
// space between; empty when none is.
std::string flagNames(uint32_t flags);

// One JSON object on one line, without the newline.
std::string infoJson(const IconSummary& icon);

// One field per line, ending with a newline.
std::string infoText(const IconSummary& icon);

// The table form: the column heads, then one line per picture of each icon
// (one line of dashes for an icon without pictures). Fixed columns, the file
// last, so that lines of different icons align without seeing them all.
std::string infoTableHeader();
std::string infoTable(const IconSummary& icon);

}  // namespace pictra::cli
