// The built `pictra` run as a user runs it: exit codes, stdout and the one
// line on stderr that names the failing file.
#include <gtest/gtest.h>

#include "host/images.h"
#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

using pictra::test::readText;

class Tool : public pictra::test::ScratchTest {
protected:
    // Runs pictra with `args`, after --module `module` unless that is null,
    // in the folder `cwd` when given. Its standard input is /dev/null.
    Result run(std::vector<std::string> args, const char* module = PICTRA_TEST_MODULE,
               const char* cwd = nullptr) {
        if (module) args.insert(args.begin(), {"--module", module});
        args.insert(args.begin(), PICTRA_TEST_TOOL);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out = (folder_ / ".stdout").string();
        const std::string err = (folder_ / ".stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (cwd) posix_spawn_file_actions_addchdir_np(&actions, cwd);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Result result;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return result;
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readText(out);
        result.err = readText(err);
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    std::string file(const std::string& name, const std::string& bytes) {
        pictra::test::writeText(path(name), bytes);
        return path(name);
    }
};

const std::string kCursor("\x00\x00\x02\x00\x01\x00\x10\x10", 8);

TEST_F(Tool, FormatsListsTheSevenSaversInOrder) {
    const std::array<std::array<const char*, 3>, 7> expected{{
        {"AMIGAOS", "Amiga icon", "info"},
        {"NEWICON", "NewIcon", "info"},
        {"AMIGAOS35", "AmigaOS 3.5 icon", "info"},
        {"AMIGAOS40", "AmigaOS 4.0 icon", "info"},
        {"PNG", "PNG icon", "info"},
        {"WINDOWS", "Windows icon", "ico"},
        {"MACOS", "macOS icon", "icns"},
    }};
    const Result text = run({"formats"});
    ASSERT_EQ(text.status, 0) << text.err;
    const auto rows = lines(text.out);
    ASSERT_EQ(rows.size(), 8u) << text.out;  // heading and seven formats
    const Result json = run({"formats", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto objects = lines(json.out);
    ASSERT_EQ(objects.size(), 7u) << json.out;
    // The identifiers' values are the module's (module_entry_test); here
    // both renderings must show the same one for each row.
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, description, extension] = expected[i];
        const std::string id = rows[i + 1].substr(rows[i + 1].size() - 8);
        EXPECT_EQ(rows[i + 1].rfind(std::string(name) + " ", 0), 0u) << rows[i + 1];
        EXPECT_NE(rows[i + 1].find(std::string("  ") + description + "  "), std::string::npos);
        EXPECT_NE(rows[i + 1].find(std::string("  ") + extension + " "), std::string::npos);
        EXPECT_EQ(objects[i], std::string("{\"name\":\"") + name + "\",\"description\":\"" +
                                  description + "\",\"extension\":\"" + extension +
                                  "\",\"formatId\":\"" + id + "\"}");
    }
}

TEST_F(Tool, InfoNamesEveryFileThatIsNotAnIconAndExitsOne) {
    const std::vector<std::pair<std::string, std::string>> failures{
        {file("arrow.cur", kCursor), "not an icon file (unknown header 00 00 02 00)"},
        {file("notes.info", "hello world"), "not an icon file (unknown header 68 65 6c 6c)"},
        {file("tiny.ico", std::string("\x00\x00", 2)), "not an icon file (only 2 bytes)"},
        {path("gone.info"), "cannot open: No such file or directory"},
        {folder_.string(), "not a regular file (a folder)"},
        {path("pipe"), "not a regular file (a FIFO or pipe)"},  // opening it would wait
        {"/dev/stdin", "not a regular file (a character device)"}};
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    std::vector<std::string> args{"info"};
    std::string errors;
    for (const auto& [name, reason] : failures) {
        args.push_back(name);
        errors += "pictra: " + name + ": " + reason + "\n";
    }
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
        {{"frobnicate"}, "pictra: unknown subcommand 'frobnicate'", "pictra"},
        {{"info"}, "pictra: info: FILE is required", "pictra info"},
        {{"info", "--bogus", cursor}, "pictra: info: the following argument was not expected: --bogus",
         "pictra info"},
        {{"extract", cursor}, "pictra: extract: --output is required", "pictra extract"},
        {{"convert", cursor}, "pictra: convert: OUT is required", "pictra convert"},
        {{"convert", cursor, path("x.info")}, "pictra: convert: cannot tell the format from", "pictra convert"},
        {{"convert", cursor, "y.info", "--format", "GIF"}, "pictra: convert: unknown format 'GIF'",
         "pictra convert"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(c.args);
        const auto said = lines(result.err);
        ASSERT_EQ(said.size(), 2u) << result.err;
        EXPECT_EQ(said[0].rfind(c.message, 0), 0u) << said[0];
        EXPECT_EQ(said[1], "Run '" + c.help + " --help' for more information.");
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"a.cur"});
}

TEST_F(Tool, HelpAndVersionSucceed) {
    const Result help = run({"--help"}, nullptr);
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"formats", "info", "extract", "convert", "--module"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    for (const char* command : {"formats", "info", "extract", "convert"})
        EXPECT_EQ(run({command, "--help"}, nullptr).status, 0) << command;
    const Result version = run({"--version"}, nullptr);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("pictra ", 0), 0u);
}

TEST_F(Tool, AModuleThatCannotBeLoadedIsOneLineAndExitOne) {
    struct Case { std::string module; std::string reason; };
    const Case cases[] = {
        {file("fake.vxm", "not a shared object"), "cannot load module " + path("fake.vxm") + ": "},
        {path("none.vxm"),
         "cannot find the module " + path("none.vxm") + " (use --module PATH or set PICTRA_MODULE)"},
    };
    for (const Case& c : cases) {
        const Result result = run({"--module", c.module, "formats"}, nullptr);
        EXPECT_EQ(result.status, 1);
        ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("pictra: " + c.reason, 0), 0u) << result.err;
        // The path is said once.
        EXPECT_EQ(result.err.find(c.module), result.err.rfind(c.module)) << result.err;
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

TEST_F(Tool, FailedConvertLeavesTheTargetAlone) {
    const std::string target = file("keep.ico", "precious");
    const std::string cursor = file("a.cur", kCursor);
    // Classic Amiga icons hold only palette pictures; a PNG icon needs a
    // 32-bit one, so this save fails even once the icon itself loads.
    const std::string classic =
        std::string(PICTRA_TEST_CORPUS) + "/amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"convert", cursor, target},
             {"convert", path("gone.ico"), target},
             {"convert", classic, target, "--format", "png"}}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(readText(target), "precious");
        EXPECT_EQ(listing(), (std::vector<std::string>{"a.cur", "keep.ico"}));
    }
}

TEST_F(Tool, ExtractCreatesTheFolderAndReportsBadInput) {
    const std::string cursor = file("a.cur", kCursor);
    const fs::path out = folder_ / "new" / "pngs";
    const Result result = run({"extract", cursor, "-o", out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(result.err, "pictra: " + cursor + ": not an icon file (unknown header 00 00 02 00)\n");
    const Result toFolder = run({"convert", cursor, path("new") + "/"});
    EXPECT_EQ(toFolder.status, 1);
    EXPECT_EQ(toFolder.err, "pictra: " + path("new") + "/: is a folder; OUT must name the file to write\n");
    const Result blocked = run({"extract", cursor, "-o", cursor});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create folder"), std::string::npos) << blocked.err;
}

// The fake module loads files that start with this and 'S' (see fake_module.cpp).
const std::string kFakeIcon("\xE3\x10\x00\x01S", 5);

TEST_F(Tool, InfoShowsWhatTheModuleLoaded) {
    const std::string icon = file("icon.info", kFakeIcon);
    const std::string cursor = file("a.cur", kCursor);
    const Result result = run({"info", "--json", icon, cursor, icon}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    const std::string expected =
        "{\"file\":\"" + icon + "\",\"format\":\"AMIGAOS\",\"type\":3,\"currentX\":5,"
        "\"currentY\":6,\"drawerLeft\":0,\"drawerTop\":0,\"drawerWidth\":0,\"drawerHeight\":0,"
        "\"drawerViewMode\":0,\"drawerShowAll\":0,\"stackSize\":4096,\"defaultTool\":\"Caf\xC3\xA9\","
        "\"toolTypes\":[\"A=1\",\"B\"],\"images\":["
        "{\"width\":2,\"height\":2,\"depth\":2,\"flags\":1,\"transparentPen\":0},"
        "{\"width\":1,\"height\":1,\"depth\":32,\"flags\":0,\"transparentPen\":-1}]}";
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{expected, expected}));

    const Result text = run({"info", icon}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("defaultTool: Caf\xC3\xA9\ntoolTypes: 2\n  A=1\n  B\nimages: 2\n"),
              std::string::npos)
        << text.out;
}

// Windows and macOS icons have no Amiga attributes: the text leaves them
// out and the JSON keeps the fields with null.
TEST_F(Tool, InfoShowsAttributesOnlyForIconsThatHoldThem) {
    const std::string ico = std::string(PICTRA_TEST_CORPUS) + "/ico/WinUAE__od-win32_resources_cpu.ico";
    const Result text = run({"info", ico});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("file: " + ico + "\nformat: WINDOWS\nimages: ", 0), 0u) << text.out;
    const Result json = run({"info", "--json", ico});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find(R"("format":"WINDOWS","type":null,"currentX":null,)"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"("stackSize":null,"defaultTool":null,"toolTypes":null,"images":[{)"),
              std::string::npos)
        << json.out;
}

TEST_F(Tool, ExtractWritesEveryPictureAsRgbaPng) {
    const std::string icon = file("icon.info", kFakeIcon);
    const Result result = run({"extract", icon, "-o", path("out")}, PICTRA_FAKE_MODULE);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::vector<uint32_t>> pixels{
        {0x00112233, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000}, {0x80FF0000}};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::string bytes = readText(folder_ / "out" / ("icon-" + std::to_string(i) + ".png"));
        const auto picture = pictra::host::decodeImage(
            std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        ASSERT_TRUE(picture) << i;
        EXPECT_EQ(picture->pixels, pixels[i]) << i;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "out"), fs::directory_iterator()), 2);

    // A second icon with the same stem would overwrite those pictures.
    fs::create_directories(folder_ / "other");
    const std::string twin = file("other/icon.info", kFakeIcon);
    const Result clash = run({"extract", icon, twin, "-o", path("out")}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(clash.status, 1);
    EXPECT_EQ(clash.err, "pictra: " + twin + ": its pictures would overwrite those of " + icon + "\n");
}

TEST_F(Tool, ConvertReplacesTheTargetOnlyWhenTheSaveSucceeds) {
    const std::string icon = file("icon.info", kFakeIcon);
    const std::string target = file("out.info", "precious");
    const Result failed =
        run({"convert", icon, target, "--format", "fake", "--compress"}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "pictra: " + target + ": the module could not save this icon as FAKE\n");
    EXPECT_EQ(readText(target), "precious");
    EXPECT_EQ(listing(), (std::vector<std::string>{"icon.info", "out.info"}));

    const Result saved = run({"convert", icon, target, "-f", "Fake"}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(readText(target), "saved pt Caf\xE9");  // attributes reached the saver
    EXPECT_EQ(listing(), (std::vector<std::string>{"icon.info", "out.info"}));
}

}  // namespace
