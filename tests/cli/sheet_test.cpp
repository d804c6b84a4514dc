// The contact sheet's layout, its blending and checkerboard, the label font,
// and the table form of `info`. The sheet of real icons through the tool is
// tool_test's.
#include <gtest/gtest.h>

#include <algorithm>

#include "info.h"
#include "label_font.h"
#include "sheet.h"

namespace pictra::cli {
namespace {

struct Box {
    uint64_t left, top, right, bottom;
};

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

SheetPicture solid(uint32_t width, uint32_t height, std::vector<std::string> label, uint32_t colour = 0xFF3060C0) {
    return {{width, height, std::vector<uint32_t>(std::size_t{width} * height, colour)}, std::move(label)};
}

// Sets of icons that exercise the flow: pictures of one icon wrapping, an
// icon wider than the sheet's usual width, a title longer than its pictures
// and many small icons side by side.
std::vector<std::vector<SheetIcon>> layoutCases() {
    std::vector<SheetIcon> wrapping{{"many.ico", {}}};
    for (uint32_t size : {16, 24, 32, 48, 64, 128, 256, 256, 256, 16})
        wrapping[0].pictures.push_back(solid(size, size, {"a label", "depth 32"}));
    std::vector<SheetIcon> wide{{"wide.icns", {solid(1500, 20, {"1500x20"})}}, {"next.info", {solid(8, 8, {})}}};
    std::vector<SheetIcon> titled{{std::string(200, 'x') + ".info", {solid(4, 4, {"4x4"})}},
                                  {"short.info", {solid(46, 46, {"46x46", "depth 8", "primary"})}}};
    std::vector<SheetIcon> small;
    for (int i = 0; i < 40; ++i)
        small.push_back({"icon" + std::to_string(i) + ".info",
                         {solid(46, 40, {"46x40"}), solid(46, 40, {"46x40", "selected"})}});
    return {wrapping, wide, titled, small};
}

// Every title, picture and label lies inside the sheet, none covers another,
// and an icon's pictures come under its title in list order.
TEST(SheetLayout, EverythingInsideTheSheetNothingOverlappingInListOrder) {
    for (const auto& icons : layoutCases()) {
        for (uint32_t scale : {1u, 3u}) {
            std::string error;
            const auto layout = layoutSheet(icons, scale, error);
            ASSERT_TRUE(layout) << error;
            std::vector<Box> boxes;
            for (std::size_t i = 0; i < icons.size(); ++i) {
                const SheetPlace title = layout->titles[i];
                boxes.push_back({title.x, title.y, title.x + layout->titleWidths[i], title.y + kFontLineHeight});
                for (std::size_t p = 0; p < icons[i].pictures.size(); ++p) {
                    const SheetPicture& each = icons[i].pictures[p];
                    const SheetPlace place = layout->pictures[i][p];
                    uint64_t width = uint64_t{each.picture.width} * scale;
                    for (const std::string& line : each.label) width = std::max<uint64_t>(width, textWidth(line));
                    const uint64_t height = each.picture.height * scale + kLabelGap + each.label.size() * kFontLineHeight;
                    boxes.push_back({place.x, place.y, place.x + width, place.y + height});
                    EXPECT_GE(place.y, title.y + kFontLineHeight);
                    if (p > 0) {
                        const SheetPlace before = layout->pictures[i][p - 1];
                        EXPECT_TRUE(place.y > before.y || (place.y == before.y && place.x > before.x));
                    }
                }
            }
            for (std::size_t a = 0; a < boxes.size(); ++a) {
                EXPECT_LE(boxes[a].right, layout->width);
                EXPECT_LE(boxes[a].bottom, layout->height);
                for (std::size_t b = a + 1; b < boxes.size(); ++b)
                    EXPECT_FALSE(overlap(boxes[a], boxes[b])) << "boxes " << a << " and " << b;
            }
        }
    }
}

TEST(SheetLayout, RefusesASheetTooLargeToHold) {
    // 70,000 rows of the sheet's 1024 pixels are more than it may hold.
    const std::vector<SheetIcon> icons{{"tall.icns", {solid(1, 70000, {"1x70000"})}}};
    std::string error;
    EXPECT_FALSE(layoutSheet(icons, 1, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(layoutSheet({{"one.icns", {solid(1024, 1024, {})}}}, kMaxSheetScale, error));
}

// How a picture is drawn over the checkerboard, scaled, with the label's ink
// under it, is tool_test's, over the pictures of real icons.
TEST(SheetDrawing, BlendAndCheckerboard) {
    EXPECT_EQ(blendOver(0xFF123456, 0xFFFFFFFF), 0xFF123456u);
    EXPECT_EQ(blendOver(0x00123456, 0xFFABCDEF), 0xFFABCDEFu);
    EXPECT_EQ(blendOver(0x80FFFFFF, 0xFF000000), 0xFF808080u);
    EXPECT_EQ(blendOver(0x80000000, 0xFFFFFFFF), 0xFF7F7F7Fu);
    EXPECT_EQ(checkerAt(0, 0), kCheckerLight);
    EXPECT_EQ(checkerAt(kCheckerSquare, 0), kCheckerDark);
    EXPECT_EQ(checkerAt(kCheckerSquare, kCheckerSquare), kCheckerLight);
    EXPECT_EQ(checkerAt(kCheckerSquare - 1, 2 * kCheckerSquare + 1), kCheckerLight);
}

TEST(LabelFont, OnlyGlyphsTheFontHasAndClippedDrawing) {
    EXPECT_EQ(fontText("Disk.info"), "Disk.info");
    EXPECT_EQ(fontText("caf\xc3\xa9\t\x7f\xff."), "caf????.");
    EXPECT_EQ(textWidth(""), 0u);
    EXPECT_LT(textWidth("ii"), textWidth("WW"));

    // Ink outside the picture is left out, whichever edge it crosses.
    host::Picture full{40, 20, std::vector<uint32_t>(800, 0)};
    drawText(full, 2, 2, "Wx", 1);
    const auto inked = [](const host::Picture& p) { return std::count(p.pixels.begin(), p.pixels.end(), 1u); };
    const auto whole = inked(full);
    ASSERT_GT(whole, 0);
    for (const auto& [x, y] : std::vector<std::pair<int64_t, int64_t>>{{-4, 2}, {2, -5}, {34, 2}, {2, 15}, {-100, -100}, {500, 500}}) {
        host::Picture cut{40, 20, std::vector<uint32_t>(800, 0)};
        drawText(cut, x, y, "Wx", 1);
        EXPECT_LT(inked(cut), whole) << x << "," << y;
    }
}

// One line per picture, the columns at the same places for every icon.
TEST(InfoTable, OneAlignedLinePerPicture) {
    IconSummary amiga;
    amiga.file = "Disk.info";
    amiga.format = "AMIGAOS";
    amiga.images = {{46, 40, 8, IconImagePrimary, 0}, {46, 40, 8, IconImageSelected, 0}};
    IconSummary windows;
    windows.file = "a b\x1b.ico";
    windows.format = "WINDOWS";
    windows.images = {{256, 256, 32, 0, -1}};
    IconSummary empty;
    empty.file = "none.icns";
    empty.format = "MACOS";

    const std::string header = infoTableHeader();
    EXPECT_EQ(infoTable(amiga),
              "AMIGAOS     0       46x40     8  primary            0  Disk.info\n"
              "AMIGAOS     1       46x40     8  selected           0  Disk.info\n");
    EXPECT_EQ(infoTable(windows), "WINDOWS     0     256x256    32  -                  -  a b\\x1b.ico\n");
    EXPECT_EQ(infoTable(empty), "MACOS       -           -     -  -                  -  none.icns\n");
    EXPECT_EQ(header.find("FILE"), infoTable(empty).find("none.icns"));
}

}  // namespace
}  // namespace pictra::cli
