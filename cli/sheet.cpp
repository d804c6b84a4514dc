#include "sheet.h"

#include <algorithm>

#include <fmt/core.h>

#include "label_font.h"

namespace pictra::cli {

namespace {

constexpr uint32_t kMargin = 8;          // around the sheet
constexpr uint32_t kContentWidth = 1008;  // the sheet is 1024 wide unless a picture needs more
constexpr uint32_t kPictureGap = 10;     // between two pictures of one icon, across
constexpr uint32_t kPictureRowGap = 8;   // and down
constexpr uint32_t kIconGap = 24;        // between two icons, across
constexpr uint32_t kIconRowGap = 16;     // and down
constexpr uint32_t kTitleGap = 4;        // between an icon's title and its pictures
constexpr uint32_t kTitleRoom = 240;     // a title may make its icon this wide
constexpr std::string_view kCut = "...";

struct Size {
    uint64_t width = 0;
    uint64_t height = 0;
};

struct Flow {
    std::vector<SheetPlace> places;  // top left of each item
    Size extent;
};

// Items placed left to right in rows no wider than `room` (an item wider
// than that gets a row of its own), each row as high as its highest item.
Flow flowRows(const std::vector<Size>& items, uint64_t room, uint64_t gap, uint64_t rowGap) {
    Flow flow;
    uint64_t x = 0;
    uint64_t y = 0;
    uint64_t rowHeight = 0;
    for (const Size& item : items) {
        if (x > 0 && x + item.width > room) {
            x = 0;
            y += rowHeight + rowGap;
            rowHeight = 0;
        }
        flow.places.push_back({x, y});
        flow.extent.width = std::max(flow.extent.width, x + item.width);
        rowHeight = std::max(rowHeight, item.height);
        x += item.width + gap;
    }
    flow.extent.height = items.empty() ? 0 : y + rowHeight;
    return flow;
}

uint64_t labelWidth(const std::vector<std::string>& lines) {
    uint64_t width = 0;
    for (const std::string& line : lines) width = std::max<uint64_t>(width, textWidth(line));
    return width;
}

// A picture with its label under it.
Size pictureCell(const SheetPicture& each, uint32_t scale) {
    const uint64_t width = uint64_t{each.picture.width} * scale;
    const uint64_t height = uint64_t{each.picture.height} * scale;
    const uint64_t label =
        each.label.empty() ? 0 : kLabelGap + each.label.size() * uint64_t{kFontLineHeight};
    return {std::max(width, labelWidth(each.label)), height + label};
}

// `title` cut at the front, where a path is least telling, to fit `room`.
std::string fittedTitle(const std::string& title, uint32_t room) {
    if (textWidth(title) <= room) return title;
    for (std::size_t cut = 1; cut < title.size(); ++cut) {
        const std::string shorter = std::string(kCut) + title.substr(cut);
        if (textWidth(shorter) <= room) return shorter;
    }
    return std::string(kCut);
}

}  // namespace

std::optional<SheetLayout> layoutSheet(const std::vector<SheetIcon>& icons, uint32_t scale,
                                       std::string& error) {
    std::vector<Flow> cells;
    std::vector<Size> blocks;
    uint64_t content = kContentWidth;
    for (const SheetIcon& icon : icons) {
        std::vector<Size> sizes;
        for (const SheetPicture& each : icon.pictures) sizes.push_back(pictureCell(each, scale));
        cells.push_back(flowRows(sizes, kContentWidth, kPictureGap, kPictureRowGap));
        const uint64_t pictures = cells.back().extent.width;
        const uint64_t title = std::min<uint64_t>(textWidth(icon.title), std::max<uint64_t>(pictures, kTitleRoom));
        blocks.push_back({std::max(pictures, title),
                          kFontLineHeight + kTitleGap + cells.back().extent.height});
        content = std::max(content, blocks.back().width);
    }
    const Flow sheet = flowRows(blocks, content, kIconGap, kIconRowGap);
    const uint64_t width = content + 2 * kMargin;
    const uint64_t height = sheet.extent.height + 2 * kMargin;
    if (width * height > kMaxSheetPixels) {
        error = fmt::format("the sheet would be too large ({}x{}); give fewer icons or a smaller --scale",
                            width, height);
        return std::nullopt;
    }
    SheetLayout layout;
    layout.width = static_cast<uint32_t>(width);
    layout.height = static_cast<uint32_t>(height);
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const uint64_t left = kMargin + sheet.places[i].x;
        const uint64_t top = kMargin + sheet.places[i].y;
        layout.titles.push_back({left, top});
        layout.titleWidths.push_back(static_cast<uint32_t>(blocks[i].width));
        std::vector<SheetPlace>& places = layout.pictures.emplace_back();
        for (const SheetPlace& cell : cells[i].places)
            places.push_back({left + cell.x, top + kFontLineHeight + kTitleGap + cell.y});
    }
    return layout;
}

uint32_t checkerAt(uint32_t x, uint32_t y) {
    return ((x / kCheckerSquare) + (y / kCheckerSquare)) % 2 == 0 ? kCheckerLight : kCheckerDark;
}

uint32_t blendOver(uint32_t pixel, uint32_t ground) {
    const uint32_t alpha = pixel >> 24;
    uint32_t out = 0xFF000000u;
    for (const uint32_t shift : {16u, 8u, 0u}) {
        const uint32_t top = (pixel >> shift) & 0xFF;
        const uint32_t bottom = (ground >> shift) & 0xFF;
        out |= ((top * alpha + bottom * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

host::Picture drawSheet(const std::vector<SheetIcon>& icons, const SheetLayout& layout,
                        uint32_t scale) {
    host::Picture sheet;
    sheet.width = layout.width;
    sheet.height = layout.height;
    sheet.pixels.assign(std::size_t{sheet.width} * sheet.height, kSheetBackground);
    for (std::size_t i = 0; i < icons.size(); ++i) {
        drawText(sheet, layout.titles[i].x, layout.titles[i].y,
                 fittedTitle(icons[i].title, layout.titleWidths[i]), kSheetInk);
        for (std::size_t p = 0; p < icons[i].pictures.size(); ++p) {
            const host::Picture& picture = icons[i].pictures[p].picture;
            const SheetPlace place = layout.pictures[i][p];
            const uint32_t width = picture.width * scale;
            const uint32_t height = picture.height * scale;
            for (uint32_t y = 0; y < height; ++y) {
                const uint32_t* source = picture.pixels.data() + std::size_t{y / scale} * picture.width;
                uint32_t* target = sheet.pixels.data() + static_cast<std::size_t>((place.y + y) * sheet.width + place.x);
                for (uint32_t x = 0; x < width; ++x) target[x] = blendOver(source[x / scale], checkerAt(x, y));
            }
            const std::vector<std::string>& label = icons[i].pictures[p].label;
            for (std::size_t line = 0; line < label.size(); ++line)
                drawText(sheet, place.x, place.y + height + kLabelGap + line * kFontLineHeight, label[line],
                         kSheetInk);
        }
    }
    return sheet;
}

}  // namespace pictra::cli
