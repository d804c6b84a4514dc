// The built `pictra` run as a user runs it: exit codes, stdout and the one
// line on stderr that names the failing file.
#include <gtest/gtest.h>

#include "amiga/amiga_fixture.h"
#include "host/images.h"
#include "label_font.h"
#include "sheet.h"
#include "test_support.h"
#include "tool_runner.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using pictra::test::lines;
using pictra::test::quoted;
using pictra::test::readText;
using pictra::test::Result;
using Tool = pictra::test::ToolTest;

const std::string kCursor("\x00\x00\x02\x00\x01\x00\x10\x10", 8);

// The savers' names, descriptions and identifiers are the module's
// (module_entry_test); here the tool shows them in saver order, each with
// its own registration (the renderings are output_test's).
TEST_F(Tool, FormatsListsTheSevenSaversInOrder) {
    const Result json = run({"formats", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto objects = lines(json.out);
    ASSERT_EQ(objects.size(), 7u) << json.out;
    char id[9];
    std::snprintf(id, sizeof id, "%08x", pictra::test::bitwiseCrc32("pictra/macOS icon"));
    EXPECT_EQ(objects[6], R"({"name":"MACOS","description":"macOS icon","extension":"icns","formatId":")" + std::string(id) + "\"}");
}

TEST_F(Tool, InfoNamesEveryFileThatIsNotAnIconAndExitsOne) {
    const std::vector<std::pair<std::string, std::string>> failures{
        {file("arrow.cur", kCursor), "not an icon file (unknown header 00 00 02 00)"},
        {file("notes.info", "hello world"), "not an icon file (unknown header 68 65 6c 6c)"},
        {file("tiny.ico", std::string("\x00\x00", 2)), "not an icon file (only 2 bytes)"},
        {path("gone.info"), "cannot open: No such file or directory"},
        {folder_.string(), "is a folder (give -r to go through it)"},
        {path("pipe"), "not a regular file (a FIFO or pipe)"},  // opening it would wait
        {"/dev/stdin", "not a regular file (a character device)"}};
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    std::vector<std::string> args{"info"};
    std::string errors;
    for (const auto& [name, reason] : failures) {
        args.push_back(name);
        errors += "pictra: " + name + ": " + reason + "\n";
    }
    errors += "pictra: 0 done, 7 failed, 0 skipped\n";
    for (const char* json : {"", "--json"}) {
        if (*json) args.push_back(json);
        const Result result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, errors);
        EXPECT_EQ(result.out, "");
    }
}

// One style for every usage error: "pictra: [SUBCOMMAND: ]what" in the
// tool's lower case, then a pointer to the help of what was being used.
TEST_F(Tool, UsageErrorsExitTwoPointingAtTheRightHelp) {
    const std::string cursor = file("a.cur", kCursor);
    struct Case { std::vector<std::string> args; std::string message; std::string help; };
    const Case cases[] = {
        {{}, "pictra: a subcommand is required", "pictra"},
        {{"info"}, "pictra: info: FILE is required", "pictra info"},
        {{"info", "--bogus", cursor}, "pictra: info: unknown option --bogus (put -- before", "pictra info"},
        {{"formats", "-dash.ico"}, "pictra: formats: unknown option -dash.ico", "pictra formats"},
        // The parser reads -r.ico as -r and -.ico; the word given is named.
        {{"info", "-r.ico"}, "pictra: info: unknown option -r.ico (put", "pictra info"},
        // An escape sequence in a word reaches the terminal as text.
        {{"info", "-\x1b[2J"}, "pictra: info: unknown option -\\x1b[2J (put", "pictra info"},
        {{"extract", cursor}, "pictra: extract: --output is required", "pictra extract"},
        {{"convert", cursor, path("x.info")}, "pictra: convert: cannot tell the format from", "pictra convert"},
        {{"convert", cursor, "y.info", "--format", "GIF"}, "pictra: convert: unknown format 'GIF'",
         "pictra convert"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // A name that begins with a dash, alone or after a file, in every
    // subcommand that takes files.
    for (const char* command : {"info", "extract", "convert", "set", "sheet", "create"})
        for (const std::vector<std::string>& words : {std::vector<std::string>{"-dash.ico"}, {cursor, "-dash.ico"}}) {
            all.push_back({{command}, std::string("pictra: ") + command +
                                          ": unknown option -dash.ico (put -- before a file name that begins with a dash)",
                           std::string("pictra ") + command});
            all.back().args.insert(all.back().args.end(), words.begin(), words.end());
        }
    for (const Case& c : all) {
        const Result result = run(c.args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(c.args);
        const auto said = lines(result.err);
        ASSERT_EQ(said.size(), 2u) << result.err;
        EXPECT_EQ(said[0].rfind(c.message, 0), 0u) << said[0];
        EXPECT_EQ(said[1], "Run '" + c.help + " --help' for more information.");
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"a.cur"});
    // The help they point at, without a module.
    for (const char* command : {"formats", "info", "extract", "convert"})
        EXPECT_EQ(run({command, "--help"}, nullptr).status, 0) << command;
    EXPECT_EQ(run({"--version"}, nullptr).out.rfind("pictra ", 0), 0u);
}

TEST_F(Tool, AModuleThatCannotBeLoadedIsOneLineAndExitOne) {
    struct Case { std::string module; std::string reason; };
    const Case cases[] = {
        {file("fake.vxm", "not a shared object"), "cannot load module " + path("fake.vxm") + ": "},
        {path("none.vxm"),
         "cannot find the module " + path("none.vxm") + " (use --module PATH or set PICTRA_MODULE)"},
        // Names in the loader's texts are escaped as the tool's own are.
        {file("odd\n\x1b[31m.vxm", "not a shared object"), "cannot load module " + path("odd\\x0a\\x1b[31m.vxm") + ": "},
        {path("no\nne.vxm"), "cannot find the module " + path("no\\x0ane.vxm") + " (use --module"},
    };
    for (const Case& c : cases) {
        const Result result = run({"--module", c.module, "formats"}, nullptr);
        EXPECT_EQ(result.status, 1);
        ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("pictra: " + c.reason, 0), 0u) << result.err;
        EXPECT_EQ(result.err.find(c.module), result.err.rfind(c.module)) << result.err;  // said once
    }
}

// A module named without a slash is the file of that name in the current
// folder, not a library to search for.
TEST_F(Tool, AModuleNameWithoutASlashIsAPath) {
    fs::copy_file(PICTRA_TEST_MODULE, path("pictra.vxm"));
    EXPECT_EQ(run({"--module", "pictra.vxm", "formats"}, nullptr, folder_.c_str()).status, 0);
    ::setenv("PICTRA_MODULE", "pictra.vxm", 1);
    const Result fromEnvironment = run({"formats"}, nullptr, folder_.c_str());
    ::unsetenv("PICTRA_MODULE");
    EXPECT_EQ(fromEnvironment.status, 0) << fromEnvironment.err;
}

TEST_F(Tool, ExtractCreatesTheFolderAndFoldersAreNoTargets) {
    const std::string cursor = file("a.cur", kCursor);
    const fs::path out = folder_ / "new" / "pngs";
    const Result result = run({"extract", cursor, "-o", out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
    const Result toFolder = run({"convert", cursor, path("new") + "/"});
    EXPECT_EQ(toFolder.status, 1);
    EXPECT_EQ(toFolder.err, "pictra: " + path("new") + "/: is a folder; OUT must name the file to write\n");
    const Result blocked = run({"extract", cursor, "-o", cursor});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create folder"), std::string::npos) << blocked.err;
}

// The fake module loads files that start with this and 'S' (see tests/host/fake_module.cpp).
const std::string kFakeIcon("\xE3\x10\x00\x01S", 5);

TEST_F(Tool, InfoShowsWhatTheModuleLoaded) {
    const std::string icon = file("icon.info", kFakeIcon);
    const std::string cursor = file("a.cur", kCursor);
    const Result result = run({"info", "--json", icon, cursor, icon}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(result.status, 1);
    // Every field's rendering, text and JSON, is output_test's; here what the
    // module handed over.
    const auto records = lines(result.out);
    ASSERT_EQ(records.size(), 2u) << result.out;
    EXPECT_EQ(records[0], records[1]);
    for (const char* field : {R"("format":"AMIGAOS","type":3,"currentX":5,"currentY":6,)",
                              "\"stackSize\":4096,\"defaultTool\":\"Caf\xC3\xA9\",\"toolTypes\":[\"A=1\",\"B\"],",
                              R"({"width":2,"height":2,"depth":2,"flags":1,"transparentPen":0},)"
                              R"({"width":1,"height":1,"depth":32,"flags":0,"transparentPen":-1}]})"})
        EXPECT_NE(records[0].find(field), std::string::npos) << field;
}

// Windows and macOS icons have no Amiga attributes: the text leaves them
// out and the JSON keeps the fields with null.
TEST_F(Tool, InfoShowsAttributesOnlyForIconsThatHoldThem) {
    const std::string ico = std::string(PICTRA_TEST_CORPUS) + "/ico/WinUAE__od-win32_resources_cpu.ico";
    const Result text = run({"info", ico}), json = run({"info", "--json", ico});
    ASSERT_EQ(text.status + json.status, 0) << text.err << json.err;
    EXPECT_EQ(text.out.rfind("file: " + ico + "\nformat: WINDOWS\nimages: ", 0), 0u) << text.out;
    for (const char* part : {R"("format":"WINDOWS","type":null,"currentX":null,)",
                             R"("stackSize":null,"defaultTool":null,"toolTypes":null,"images":[{)"})
        EXPECT_NE(json.out.find(part), std::string::npos) << json.out;
}

TEST_F(Tool, ExtractWritesEveryPictureAsRgbaPng) {
    const std::string icon = file("icon.info", kFakeIcon);
    const Result result = run({"extract", icon, "-o", path("out")}, PICTRA_FAKE_MODULE);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::vector<uint32_t>> pixels{
        {0x00112233, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000}, {0x80FF0000}};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const auto picture = pictra::host::decodeImage(pictra::test::readFile(path("out/icon-" + std::to_string(i) + ".png")));
        EXPECT_EQ(picture.value_or(pictra::host::Picture{}).pixels, pixels[i]) << i;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "out"), fs::directory_iterator()), 2);

    // A second icon with the same stem would overwrite those pictures.
    fs::create_directories(folder_ / "other");
    const std::string twin = file("other/icon.info", kFakeIcon);
    const Result clash = run({"extract", icon, twin, "-o", path("out")}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(clash.status, 1);
    EXPECT_EQ(clash.err, "pictra: " + twin + ": its pictures would overwrite those of " + icon +
                             "\npictra: 1 done, 1 failed, 0 skipped\n");
}

// Classic Amiga icons hold only palette pictures; a PNG icon needs a 32-bit
// one, so with --exact that save fails even once the icon itself loads.
TEST_F(Tool, ConvertReplacesTheTargetOnlyWhenTheSaveSucceeds) {
    const std::string icon = file("icon.info", kFakeIcon), cursor = file("a.cur", kCursor);
    const std::string target = file("out.info", "precious");
    const std::string classic = std::string(PICTRA_TEST_CORPUS) + "/amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info";
    struct Case { std::vector<std::string> args; const char* module; std::string error; };
    const Case cases[] = {
        {{"convert", cursor, target, "-f", "windows"}, PICTRA_TEST_MODULE, ""},
        {{"convert", classic, target, "--format", "png", "--exact"}, PICTRA_TEST_MODULE,
         "pictra: " + classic + ": PNG holds only 32-bit pictures; this icon has none: drop --exact or use create\n"},
        {{"convert", icon, target, "--format", "fake", "--compress"}, PICTRA_FAKE_MODULE,
         "pictra: " + target + ": the module could not save this icon as FAKE\n"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.args, c.module);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        if (!c.error.empty()) {
            EXPECT_EQ(result.err, c.error);
        }
        EXPECT_EQ(readText(target), "precious");
        EXPECT_EQ(listing(), (std::vector<std::string>{"a.cur", "icon.info", "out.info"}));
    }
    const Result saved = run({"convert", icon, target, "-f", "Fake"}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(readText(target), "saved pt Caf\xE9");  // attributes reached the saver
    EXPECT_EQ(listing(), (std::vector<std::string>{"a.cur", "icon.info", "out.info"}));
}

// Without --exact the classic pictures are expanded, with one line that
// says so (none with --quiet).
TEST_F(Tool, ConvertAdaptsWhatTheTargetCannotTakeAndSaysSo) {
    const std::string classic = std::string(PICTRA_TEST_CORPUS) + "/amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info";
    const Result loud = run({"convert", classic, path("a.info"), "-f", "png"});
    EXPECT_EQ(loud.status, 0) << loud.err;
    EXPECT_EQ(loud.err, "pictra: " + classic +
                            ": 38 × 35 2-bit picture and its selected picture expanded to 32 bits for PNG\n");
    const Result quiet = run({"convert", "-q", classic, path("b.info"), "-f", "png"});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(readText(path("a.info")), readText(path("b.info")));
    const Result info = run({"info", path("a.info")});
    EXPECT_NE(info.out.find("\n  1: width 38, height 35, depth 32, flags 2 (selected)"), std::string::npos) << info.out;
}

// The budgets the environment sets: a load keeps the pictures that fit, a
// save past its budget fails before it writes and says so, and a value that
// is not a count is refused before anything is read.
TEST_F(Tool, BudgetsComeFromTheEnvironment) {
    const std::string ico = std::string(PICTRA_TEST_EXAMPLES) + "/pictra.ico";
    const std::string target = path("out.icns");
    struct Case {
        const char* name;
        const char* value;
        std::vector<std::string> args;
        int status;
        std::string err;
        std::size_t pictures;
    };
    const Case cases[] = {
        {"PICTRA_MAX_PICTURES", "1", {"info", "--json", ico}, 0, "", 1},
        {"PICTRA_MAX_PICTURE_BYTES", "-5", {"info", ico}, 1,
         "pictra: PICTRA_MAX_PICTURE_BYTES must be a whole number from 1 to 4294967295\n", 0},
        {"PICTRA_MAX_SAVE_BYTES", "100", {"convert", ico, target}, 1,
         "pictra: " + target + ": not saved: the file would be larger than the save budget of 100 bytes\n", 0},
        {"PICTRA_MAX_SAVE_BYTES", "0", {"info", ico}, 1,
         "pictra: PICTRA_MAX_SAVE_BYTES must be a whole number from 1 to 4294967295\n", 0},
        {"PICTRA_MAX_PICTURES", "12x", {"info", ico}, 1,
         "pictra: PICTRA_MAX_PICTURES must be a whole number from 1 to 4294967295\n", 0},
    };
    for (const Case& c : cases) {
        ::setenv(c.name, c.value, 1);
        const Result result = run(c.args);
        ::unsetenv(c.name);
        EXPECT_EQ(result.status, c.status) << c.name << "=" << c.value << ": " << result.err;
        if (c.status == 0) {
            std::size_t widths = 0;
            for (std::size_t at = result.out.find("\"width\""); at != std::string::npos;
                 at = result.out.find("\"width\"", at + 1))
                ++widths;
            EXPECT_EQ(widths, c.pictures) << c.name << "=" << c.value;
        } else {
            EXPECT_EQ(result.err, c.err);
        }
        EXPECT_FALSE(fs::exists(target)) << c.name << "=" << c.value;
    }
    EXPECT_EQ(listing(), std::vector<std::string>{});
}

// The tool shows every tool type the module kept, up to the limit the two share.
TEST_F(Tool, InfoShowsToolTypesUpToTheSharedLimit) {
    pictra::test::ClassicIcon icon;
    icon.toolTypes = std::vector<std::string>(ToolTypeListMaxItems + 1, "A=1");
    pictra::test::writeFile(path("many.info"), icon.bytes());
    const Result result = run({"info", path("many.info")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("toolTypes: " + std::to_string(ToolTypeListMaxItems) + "\n"), std::string::npos);
}

}  // namespace

namespace sheet {

pictra::host::Picture decodeFile(const fs::path& file) {
    return pictra::host::decodeImage(pictra::test::readFile(file)).value_or(pictra::host::Picture{});
}

// Whether `picture`, `scale` times its size, is drawn over the checkerboard
// with its top left at (x, y) of `sheet`.
bool drawnAt(const pictra::host::Picture& sheet, const pictra::host::Picture& picture, uint32_t scale, uint32_t x,
             uint32_t y) {
    const uint32_t width = picture.width * scale, height = picture.height * scale;
    if (x + width > sheet.width || y + height > sheet.height) return false;
    for (uint32_t dy = 0; dy < height; ++dy)
        for (uint32_t dx = 0; dx < width; ++dx)
            if (sheet.pixels[(y + dy) * sheet.width + x + dx] !=
                pictra::cli::blendOver(picture.pixels[(dy / scale) * picture.width + dx / scale],
                                       pictra::cli::checkerAt(dx, dy)))
                return false;
    return true;
}

struct Found {
    uint32_t x = 0, y = 0;
    bool found = false;
};

Found findIn(const pictra::host::Picture& sheet, const pictra::host::Picture& picture, uint32_t scale) {
    for (uint32_t y = 0; y < sheet.height; ++y)
        for (uint32_t x = 0; x < sheet.width; ++x)
            if (drawnAt(sheet, picture, scale, x, y)) return {x, y, true};
    return {};
}

}  // namespace sheet

// The sheet of known icons holds every picture that `extract` writes, each
// found by its pixels, in the icon's order, with the label's ink under it
// (that the same icons give the same file is the folder tree's test).
TEST_F(Tool, SheetDrawsEveryPictureWithItsLabelUnderIt) {
    const std::string examples = PICTRA_TEST_EXAMPLES;
    const std::vector<std::string> icons{examples + "/pictra.info", examples + "/ball-os4.info",
                                         examples + "/pictra.ico"};
    for (std::size_t i = 0; i < icons.size(); ++i)
        ASSERT_EQ(run({"extract", "-o", path("pictures" + std::to_string(i)), icons[i]}).status, 0);
    const uint32_t scale = 2;
    std::vector<std::string> sheetArgs{"sheet", "-o", path("sheet.png"), "--scale", std::to_string(scale)};
    sheetArgs.insert(sheetArgs.end(), icons.begin(), icons.end());
    const Result result = run(sheetArgs);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const pictra::host::Picture drawn = sheet::decodeFile(path("sheet.png"));
    ASSERT_GT(drawn.width, 0u);

    std::size_t pictures = 0;
    for (std::size_t n = 0; n < icons.size(); ++n) {
        sheet::Found before;
        for (int i = 0;; ++i) {
            const fs::path file = folder_ / ("pictures" + std::to_string(n)) /
                                  (fs::path(icons[n]).stem().string() + "-" + std::to_string(i) + ".png");
            if (!fs::exists(file)) break;
            ++pictures;
            const pictra::host::Picture picture = sheet::decodeFile(file);
            const sheet::Found at = sheet::findIn(drawn, picture, scale);
            ASSERT_TRUE(at.found) << file;
            if (i > 0) {
                EXPECT_TRUE(at.y > before.y || (at.y == before.y && at.x > before.x)) << file;
            }
            before = at;
            std::size_t ink = 0;
            const uint32_t labelTop = at.y + picture.height * scale + pictra::cli::kLabelGap;
            for (uint32_t y = labelTop; y < labelTop + pictra::cli::kFontLineHeight; ++y)
                for (uint32_t x = at.x; x < std::min(drawn.width, at.x + 30); ++x)
                    ink += drawn.pixels[y * drawn.width + x] == pictra::cli::kSheetInk;
            EXPECT_GT(ink, 10u) << "no label under " << file;
        }
    }
    EXPECT_GE(pictures, 10u);
}

// A file that is not an icon is named and the sheet of the others written;
// with no icon at all an existing file is left as it was.
TEST_F(Tool, SheetGoesOnPastAFailureAndKeepsTheOldFileWhenNothingIsLeft) {
    const std::string cursor = file("a.cur", kCursor);
    const std::string icon = std::string(PICTRA_TEST_EXAMPLES) + "/pictra.icns";
    const Result some = run({"sheet", cursor, icon, "-o", path("sheet.png")});
    EXPECT_EQ(some.status, 1);
    EXPECT_NE(some.err.find(cursor + ": not an icon file"), std::string::npos) << some.err;
    EXPECT_GT(sheet::decodeFile(path("sheet.png")).width, 0u);

    const std::string old = file("old.png", "keep me");
    const Result none = run({"sheet", cursor, "-o", old});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(readText(old), "keep me");
    EXPECT_EQ(run({"sheet", icon, "-o", old, "--scale", "0"}).status, 2);
    EXPECT_EQ(run({"sheet", icon, "-o", old, "--scale", "17"}).status, 2);
    EXPECT_EQ(readText(old), "keep me");
}

// --table: the column heads, then one line per picture of each icon; the
// default on a terminal only (the renderings are sheet_test's).
TEST_F(Tool, InfoTableIsOneLinePerPictureAndTheDefaultOnATerminal) {
    const std::string icns = std::string(PICTRA_TEST_EXAMPLES) + "/pictra.icns";
    const std::string amiga = std::string(PICTRA_TEST_EXAMPLES) + "/pictra.info";
    const Result table = run({"info", "--table", icns, amiga});
    ASSERT_EQ(table.status, 0) << table.err;
    const auto rows = lines(table.out);
    ASSERT_EQ(rows.size(), 1u + 5u + 4u) << table.out;
    EXPECT_EQ(rows[0].rfind("FORMAT", 0), 0u);
    EXPECT_EQ(rows[1].rfind("MACOS       0       16x16    32", 0), 0u) << rows[1];
    EXPECT_TRUE(rows[5].ends_with("  " + icns)) << rows[5];
    EXPECT_EQ(rows[9].rfind("AMIGAOS     3       48x48     8  selected", 0), 0u) << rows[9];

    EXPECT_EQ(run({"info", icns}).out.rfind("file: ", 0), 0u);
    EXPECT_EQ(run({"info", "--table", "--json", icns}).status, 2);

    const std::string command = "script -qec " +
                                quoted(quoted(PICTRA_TEST_TOOL) + " --module " + quoted(PICTRA_TEST_MODULE) +
                                       " info " + quoted(icns) + " 2>/dev/null") +
                                " /dev/null </dev/null >" + quoted(path("terminal"));
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto shown = lines(readText(path("terminal")));
    ASSERT_EQ(shown.size(), 6u) << readText(path("terminal"));
    EXPECT_EQ(shown[0].rfind("FORMAT", 0), 0u) << shown[0];
}
namespace {

const std::string kJumpEd = std::string(PICTRA_TEST_CORPUS) + "/amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info";

TEST_F(Tool, SetEditsAmigaIconsShowsAndChecksChangesAndRefusesOtherFiles) {
    fs::copy_file(kJumpEd, path("jump.info"));
    fs::copy_file(std::string(PICTRA_TEST_CORPUS) + "/ico/WinUAE__od-win32_resources_cpu.ico", path("cpu.ico"));
    const std::string icon = path("jump.info"), windows = path("cpu.ico");
    const std::string original = readText(icon), windowsBytes = readText(windows);

    const Result shown = run({"set", icon});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, run({"info", icon}).out);

    const Result dry = run({"set", icon, "--stack", "20000", "--set-tool-type", "PRI=1", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, icon + ": AMIGAOS icon\n  stackSize: 8192 -> 20000\n  toolTypes: + \"PRI=1\"\n");
    EXPECT_EQ(readText(icon), original);

    const Result done = run({"set", icon, "--stack", "20000", "--set-tool-type", "PRI=1", "--type", "Project"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out, "");
    const std::vector<std::string> info = lines(run({"info", icon}).out);
    EXPECT_NE(std::find(info.begin(), info.end(), "stackSize: 20000"), info.end());
    EXPECT_NE(std::find(info.begin(), info.end(), "type: 4 (project)"), info.end());
    EXPECT_NE(std::find(info.begin(), info.end(), "  PRI=1"), info.end());

    for (const auto& args : {std::vector<std::string>{"set", windows, "--stack", "1"},
                             std::vector<std::string>{"set", windows}}) {
        const Result refused = run(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "pictra: " + windows +
                                   ": not an Amiga icon (a WINDOWS icon); set shows and edits Amiga icons only\n");
    }
    EXPECT_EQ(readText(windows), windowsBytes);
    EXPECT_EQ(listing(), (std::vector<std::string>{"cpu.ico", "jump.info"}));
}

TEST_F(Tool, SetUsageErrorsNameTheOption) {
    fs::copy_file(kJumpEd, path("jump.info"));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--stack", "-1"}, "--stack: '-1' is not a whole number from 0 to 2147483647"},
        {{"--show-all", "maybe"}, "--show-all: 'maybe' is neither yes nor no"},
        {{"--set-tool-type", "PRI"}, "--set-tool-type: 'PRI' is not NAME=VALUE"},
        {{"--position", "1"}, "--position: '1' is not X,Y"},
        {{"--tool-type", "\xE2\x82\xAC"}, "--tool-type: '\xE2\x82\xAC' has characters an Amiga icon cannot hold (only ISO-8859-1)"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> all{"set", path("jump.info")};
        all.insert(all.end(), args.begin(), args.end());
        const Result result = run(all);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(lines(result.err).at(0), "pictra: set: " + message);
    }
    EXPECT_EQ(readText(path("jump.info")), readText(kJumpEd));
}

// A disk that fills up (the file-size limit holds for every user, the
// superuser too): the icon stays as it was, nothing is left beside it.
TEST_F(Tool, SetLeavesTheIconWhenTheSaveFails) {
    fs::create_directory(path("icons"));
    const std::string icon = path("icons/jump.info");
    fs::copy_file(kJumpEd, icon);
    const std::string limited = "trap '' XFSZ; ulimit -f 1; " + quoted(PICTRA_TEST_TOOL) + " --module " +
                                quoted(PICTRA_TEST_MODULE) + " set " + quoted(icon) +
                                " --tool-type LONGER=TEXT 2>" + quoted(path("err"));
    const int status = std::system(("sh -c " + quoted(limited)).c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_EQ(readText(path("err")), "pictra: " + icon + ": cannot write: the file could not be stored in full\n");
    EXPECT_EQ(readText(icon), readText(kJumpEd));
    EXPECT_EQ(std::distance(fs::directory_iterator(path("icons")), fs::directory_iterator()), 1);
}

// A folder tree through the batch runner: other files are skipped, an icon
// the save would change is named and left, the rest are edited; the output
// is the same whatever -j is.
TEST_F(Tool, SetGoesThroughFolders) {
    const std::string corpus = std::string(PICTRA_TEST_CORPUS);
    fs::create_directories(path("tree/sub"));
    const std::pair<std::string, std::string> files[] = {
        {kJumpEd, "tree/a.info"},
        {corpus + "/amiga/classic/yam__Gfx_Paolo_Luzi_new.info", "tree/sub/b.info"},
        {corpus + "/ico/WinUAE__od-win32_resources_cpu.ico", "tree/sub/c.ico"},
        {corpus + "/amiga/png/AmiBlitz3__AmiBlitz3_Tools_LibMan.info", "tree/sub/d.info"},
        {corpus + "/amiga/os4/netsurf__amiga_dist_Install.info", "tree/sub/e.info"},
    };
    for (const auto& [from, to] : files) fs::copy_file(from, path(to));
    // An old-style icon keeps no show-all flag.
    const std::string refused = "pictra: " + path("tree/sub/b.info") +
                                ": left unchanged: saving it as AMIGAOS would change drawerShowAll: 1 -> 0\n";
    const std::vector<std::string> edit{"set", "-r", path("tree"), "--stack", "12345", "--type", "drawer", "--show-all", "yes"};
    const auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), edit.begin(), edit.end());
        return more;
    };
    const Result one = run(with({"-j", "1", "--dry-run"}));
    const Result four = run(with({"-j", "4", "--dry-run"}));
    const auto change = [&](const std::string& file, const std::string& kind, const std::string& type, int stack) {
        return path(file) + ": " + kind + " icon\n  type: " + type + " -> 2 (drawer)\n  drawerShowAll: 0 -> 1\n" +
               "  stackSize: " + std::to_string(stack) + " -> 12345\n";
    };
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out, change("tree/a.info", "AMIGAOS", "3 (tool)", 8192) + change("tree/sub/d.info", "PNG", "3 (tool)", 4096) +
                           change("tree/sub/e.info", "AMIGAOS40", "4 (project)", 32768));
    EXPECT_EQ(one.err, refused + "pictra: 3 done, 1 failed, 1 skipped\n");
    EXPECT_EQ(std::tie(four.status, four.out, four.err), std::tie(one.status, one.out, one.err));
    for (const auto& [from, to] : files) EXPECT_EQ(readText(path(to)), readText(from)) << to;

    const Result done = run(edit);
    EXPECT_EQ(std::tie(done.status, done.out, done.err), std::tie(one.status, "", one.err));
    for (const auto& [from, to] : files) {
        const bool edited = to != "tree/sub/b.info" && to != "tree/sub/c.ico";
        EXPECT_EQ(readText(path(to)) != readText(from), edited) << to;
    }
    EXPECT_NE(run({"info", path("tree/sub/d.info")}).out.find("stackSize: 12345\n"), std::string::npos);
}

TEST_F(Tool, SetLeavesTheIconInAReadOnlyFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "a read-only folder does not stop the superuser";
    fs::create_directory(path("icons"));
    const std::string icon = path("icons/jump.info");
    fs::copy_file(kJumpEd, icon);
    fs::permissions(path("icons"), fs::perms::owner_read | fs::perms::owner_exec);
    const Result readOnly = run({"set", icon, "--stack", "1"});
    fs::permissions(path("icons"), fs::perms::owner_all);
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_TRUE(readOnly.err.starts_with("pictra: " + icon + ": cannot create a temporary file in ")) << readOnly.err;
    EXPECT_EQ(readText(icon), readText(kJumpEd));
}

}  // namespace

// Folders with -r: the icons in walk order, other files skipped, and the
// same sheet whatever the number of workers.
TEST_F(Tool, SheetOfAFolderTreeIsTheSameWithOneWorkerOrFour) {
    const fs::path examples = PICTRA_TEST_EXAMPLES;
    fs::create_directories(folder_ / "tree" / "sub");
    for (const char* name : {"pictra.icns", "ball-os4.info", "not-an-icon.cur"})
        fs::copy_file(examples / name, folder_ / "tree" / name);
    for (const char* name : {"pictra.ico", "ball-png.info", "pictra.info"})
        fs::copy_file(examples / name, folder_ / "tree" / "sub" / name);
    const Result one = run({"sheet", "-r", "-j", "1", path("tree"), "-o", path("one.png")});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.err, "pictra: 5 done, 0 failed, 1 skipped\n");
    const Result four = run({"sheet", "-r", "-j", "4", path("tree"), "-o", path("four.png"), "-q"});
    ASSERT_EQ(four.status, 0) << four.err;
    EXPECT_EQ(four.err, "");
    EXPECT_EQ(readText(path("one.png")), readText(path("four.png")));

    // The same icons named one by one, in the walk's order, make the same sheet.
    std::vector<std::string> named{"sheet", "-o", path("named.png")};
    for (const char* name : {"ball-os4.info", "pictra.icns", "sub/ball-png.info", "sub/pictra.ico", "sub/pictra.info"})
        named.push_back(path("tree/") + name);
    ASSERT_EQ(run(named).status, 0);
    EXPECT_EQ(readText(path("named.png")), readText(path("one.png")));

    const Result folder = run({"sheet", path("tree"), "-o", path("none.png")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("give -r"), std::string::npos) << folder.err;
    EXPECT_FALSE(fs::exists(path("none.png")));
}
