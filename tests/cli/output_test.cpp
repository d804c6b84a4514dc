// What the tool prints: text encoding, JSON and the two renderings of
// `info` and `formats`, fed with hand-built records. The JSON writer is
// checked through the whole records it writes.
#include <gtest/gtest.h>

#include <array>

#include "formats.h"
#include "info.h"
#include "json.h"
#include "text.h"

namespace pictra::cli {
namespace {

TEST(Text, Latin1BecomesUtf8) {
    EXPECT_EQ(latin1ToUtf8("plain"), "plain");
    EXPECT_EQ(latin1ToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(latin1ToUtf8(std::string_view("\x00\x7F\x80\xFF", 4)),
              std::string_view("\x00\x7F\xC2\x80\xC3\xBF", 6));
}

TEST(Text, PrintableEscapesControlsAndRepairsBadUtf8) {
    EXPECT_EQ(printable("a\x1b[2Jb"), "a\\x1b[2Jb");
    EXPECT_EQ(printable("\xC2\x9B" "x"), "\\u009bx");  // C1 control
    EXPECT_EQ(printable("\xC3\xA9"), "\xC3\xA9");
    EXPECT_EQ(printable("\xFF"), "\xEF\xBF\xBD");
    EXPECT_EQ(printable("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong '/'
    // A sequence cut by the end of the text, even with its tail in memory.
    EXPECT_EQ(printable(std::string_view("\xE2\x82\xAC", 2)), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Json, StringsAreEscaped) {
    EXPECT_EQ(jsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(jsonString("\n\t\r\b\f"), R"("\n\t\r\b\f")");
    EXPECT_EQ(jsonString(std::string_view("\x00\x01\x1f\x7f", 4)), R"("\u0000\u0001\u001f\u007f")");
    EXPECT_EQ(jsonString("\xC3\xA9\xE2\x82\xAC"), "\"\xC3\xA9\xE2\x82\xAC\"");
    EXPECT_EQ(jsonString("\xE9"), "\"\xEF\xBF\xBD\"");  // raw Latin-1 is not UTF-8
}

struct HandBuiltIcon {
    std::array<uint8_t, 4> pixels{};
    std::array<uint32_t, 256> palette{};
    IconImage selected{nullptr, pixels.data(), 2, 2, IconImageSelected, palette.data(), -1, 2, 0};
    IconImage normal{&selected, pixels.data(), 2, 2, IconImagePrimary, palette.data(), 0, 2, 0};
    std::array<char, 6> tool1{"FOO=1"};
    std::array<char, 5> tool2{"A\"\x01\xE9"};
    std::array<char*, 3> toolTypes{tool1.data(), tool2.data(), nullptr};
    IconAttributes attributes{3, 1, 10, -20, 30, 40, 200, 100, 4096, "Caf\xE9", toolTypes.data(), 1};
};

TEST(Info, JsonAndTextHaveEveryFieldInUtf8) {
    HandBuiltIcon icon;
    const IconSummary summary = summariseIcon("d/x.info", "AMIGAOS", icon.attributes, &icon.normal);
    EXPECT_EQ(infoJson(summary),
              R"({"file":"d/x.info","format":"AMIGAOS","type":3,"currentX":10,"currentY":-20,)"
              R"("drawerLeft":30,"drawerTop":40,"drawerWidth":200,"drawerHeight":100,)"
              R"("drawerViewMode":1,"drawerShowAll":1,"stackSize":4096,)"
              "\"defaultTool\":\"Caf\xC3\xA9\",\"toolTypes\":[\"FOO=1\",\"A\\\"\\u0001\xC3\xA9\"],"
              R"("images":[{"width":2,"height":2,"depth":2,"flags":1,"transparentPen":0},)"
              R"({"width":2,"height":2,"depth":2,"flags":2,"transparentPen":-1}]})");
    const std::string text = infoText(summary);
    for (const char* line :
         {"file: d/x.info\n", "format: AMIGAOS\n", "type: 3 (tool)\n", "currentY: -20\n",
          "drawerShowAll: 1\n", "stackSize: 4096\n", "defaultTool: Caf\xC3\xA9\n",
          "toolTypes: 2\n  FOO=1\n  A\"\\x01\xC3\xA9\n", "images: 2\n",
          "  0: width 2, height 2, depth 2, flags 1 (primary), transparentPen 0\n",
          "  1: width 2, height 2, depth 2, flags 2 (selected), transparentPen -1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
    // Without texts: null and an empty array in JSON, "(none)" in text.
    IconAttributes empty{};
    const IconSummary bare = summariseIcon("p.info", "PNG", empty, nullptr);
    EXPECT_NE(infoJson(bare).find(R"("defaultTool":null,"toolTypes":[],"images":[])"), std::string::npos);
    EXPECT_NE(infoText(bare).find("defaultTool: (none)\ntoolTypes: (none)\nimages: 0\n"), std::string::npos);
}

TEST(Formats, RowsFollowSaverOrderAndMatchRegistryById) {
    const std::vector<host::Saver> savers{{"WINDOWS", 0x22}, {"MACOS", 0x11}, {"ODD", 0x33}};
    const std::vector<host::RegisteredFormat> registered{{"macOS icon", "icns", 0x11},
                                                         {"Windows icon", "ico", 0x22}};
    const auto rows = formatRows(savers, registered);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].description, "Windows icon");
    EXPECT_EQ(rows[1].extension, "icns");
    EXPECT_EQ(rows[2].description, "");
    EXPECT_EQ(formatsJson(rows).substr(0, formatsJson(rows).find('\n')),
              R"({"name":"WINDOWS","description":"Windows icon","extension":"ico","formatId":"00000022"})");
    EXPECT_NE(formatsText(rows).find("MACOS    macOS icon    icns       00000011\n"),
              std::string::npos)
        << formatsText(rows);
}

}  // namespace
}  // namespace pictra::cli
