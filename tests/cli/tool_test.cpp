// The built `pictra` run as a user runs it: exit codes, stdout and the one
// line on stderr that names the failing file.
#include <gtest/gtest.h>

#include "host/images.h"
#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
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
    // Runs pictra with `args`, after --module `module` unless that is null.
    Result run(std::vector<std::string> args, const char* module = PICTRA_TEST_MODULE) {
        if (module) args.insert(args.begin(), {"--module", module});
        args.insert(args.begin(), PICTRA_TEST_TOOL);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out = (folder_ / ".stdout").string();
        const std::string err = (folder_ / ".stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
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

TEST_F(Tool, FormatsListsTheSevenSaversInOrderWithTheirIds) {
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
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, description, extension] = expected[i];
        char id[9];
        std::snprintf(id, sizeof id, "%08x", pictra::test::bitwiseCrc32(std::string("pictra/") + description));
        std::istringstream row(rows[i + 1]);
        std::string word;
        row >> word;
        EXPECT_EQ(word, name);
        EXPECT_NE(rows[i + 1].find(std::string("  ") + description + "  "), std::string::npos);
        EXPECT_NE(rows[i + 1].find(std::string("  ") + extension + " "), std::string::npos);
        EXPECT_EQ(rows[i + 1].substr(rows[i + 1].size() - 8), id);
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
        {folder_.string(), "cannot read: Is a directory"}};
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

TEST_F(Tool, UsageErrorsExitTwo) {
    const std::string cursor = file("a.cur", kCursor);
    const std::vector<std::vector<std::string>> usages{
        {}, {"frobnicate"}, {"info"}, {"info", "--bogus", cursor}, {"extract", cursor}, {"convert", cursor},
        {"convert", cursor, path("x.info")}, {"convert", cursor, path("x.png")},
    };
    for (const auto& args : usages) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(result.err.rfind("pictra: ", 0), 0u) << result.err;
    }
    EXPECT_EQ(run({"frobnicate"}).err.find("pictra: unknown subcommand 'frobnicate'"), 0u);
    const Result unknown = run({"convert", cursor, "y.info", "--format", "GIF"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown format 'GIF'"), std::string::npos) << unknown.err;
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
    for (const std::string& module : {file("fake.vxm", "not a shared object"), path("none.vxm")}) {
        const Result result = run({"--module", module, "formats"}, nullptr);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(module), std::string::npos) << result.err;
    }
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
        "{\"file\":\"" + icon + "\",\"format\":\"amiga\",\"type\":3,\"currentX\":5,"
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
