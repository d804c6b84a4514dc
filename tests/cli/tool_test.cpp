// The built `pictra` run as a user runs it: exit codes, stdout and the one
// line on stderr that names the failing file.
#include <gtest/gtest.h>

#include "host/images.h"
#include "scratch_folder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
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

// CRC-32 (reflected, polynomial 0xEDB88320) computed bit by bit.
uint32_t crc32(const std::string& text) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : text) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (crc & 1 ? 0xEDB88320u : 0);
    }
    return ~crc;
}

class Tool : public ScratchFolderTest {
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
        result.out = slurp(out);
        result.err = slurp(err);
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    fs::path file(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
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
        std::snprintf(id, sizeof id, "%08x", crc32(std::string("pictra/") + description));
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

TEST_F(Tool, InfoRefusesFilesThatAreNotIconsAndNamesThem) {
    const fs::path cursor = file("arrow.cur", kCursor);
    const fs::path text = file("notes.info", "hello world");
    const fs::path tiny = file("tiny.ico", std::string("\x00\x00", 2));
    const std::string missing = (folder_ / "gone.info").string();
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {cursor.string(), "not an icon file (unknown header 00 00 02 00)"},
             {text.string(), "not an icon file (unknown header 68 65 6c 6c)"},
             {tiny.string(), "not an icon file (only 2 bytes)"},
             {missing, "cannot open: No such file or directory"}}) {
        for (const char* json : {"", "--json"}) {
            std::vector<std::string> args{"info", path};
            if (*json) args.push_back(json);
            const Result result = run(args);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, "pictra: " + path + ": " + reason + "\n");
            EXPECT_EQ(result.out, "");
        }
    }
}

TEST_F(Tool, EveryFailingFileIsReported) {
    const fs::path cursor = file("a.cur", kCursor);
    const std::string missing = (folder_ / "b.info").string();
    const Result result = run({"info", cursor.string(), missing, folder_.string()});
    EXPECT_EQ(result.status, 1);
    const auto errors = lines(result.err);
    ASSERT_EQ(errors.size(), 3u) << result.err;
    EXPECT_NE(errors[0].find(cursor.string()), std::string::npos);
    EXPECT_NE(errors[1].find(missing), std::string::npos);
    EXPECT_EQ(errors[2], "pictra: " + folder_.string() + ": cannot read: Is a directory");
}

TEST_F(Tool, UsageErrorsExitTwo) {
    const fs::path cursor = file("a.cur", kCursor);
    const std::vector<std::vector<std::string>> usages{
        {},
        {"frobnicate"},
        {"info"},
        {"info", "--bogus", cursor.string()},
        {"extract", cursor.string()},
        {"convert", cursor.string()},
        {"convert", cursor.string(), (folder_ / "x.info").string()},
        {"convert", cursor.string(), (folder_ / "x.png").string()},
    };
    for (const auto& args : usages) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(result.err.rfind("pictra: ", 0), 0u) << result.err;
    }
    const Result unknown = run({"convert", cursor.string(), "y.info", "--format", "GIF"});
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
    const fs::path fake = file("fake.vxm", "not a shared object");
    for (const std::string& path : {fake.string(), (folder_ / "none.vxm").string()}) {
        const Result result = run({"--module", path, "formats"}, nullptr);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
    }
}

TEST_F(Tool, FailedConvertLeavesTheTargetAlone) {
    const fs::path target = file("keep.ico", "precious");
    const fs::path cursor = file("a.cur", kCursor);
    // Classic Amiga icons hold only palette pictures; a PNG icon needs a
    // 32-bit one, so this save fails even once the icon itself loads.
    const fs::path classic =
        fs::path(PICTRA_TEST_CORPUS) / "amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"convert", cursor.string(), target.string()},
             {"convert", (folder_ / "gone.ico").string(), target.string()},
             {"convert", classic.string(), target.string(), "--format", "png"}}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(slurp(target), "precious");
        EXPECT_EQ(listing(), (std::vector<std::string>{"a.cur", "keep.ico"}));
    }
}

TEST_F(Tool, ExtractCreatesTheFolderAndReportsBadInput) {
    const fs::path cursor = file("a.cur", kCursor);
    const fs::path out = folder_ / "new" / "pngs";
    const Result result = run({"extract", cursor.string(), "-o", out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(result.err, "pictra: " + cursor.string() +
                              ": not an icon file (unknown header 00 00 02 00)\n");
    const Result blocked = run({"extract", cursor.string(), "-o", cursor.string()});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create folder"), std::string::npos) << blocked.err;
}

// The fake module loads files that start with this and 'S' (see fake_module.cpp).
const std::string kFakeIcon("\xE3\x10\x00\x01S", 5);

TEST_F(Tool, InfoShowsWhatTheModuleLoaded) {
    const fs::path icon = file("icon.info", kFakeIcon);
    const fs::path cursor = file("a.cur", kCursor);
    const Result result =
        run({"info", "--json", icon.string(), cursor.string(), icon.string()}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    const std::string expected =
        "{\"file\":\"" + icon.string() + "\",\"format\":\"amiga\",\"type\":3,\"currentX\":5,"
        "\"currentY\":6,\"drawerLeft\":0,\"drawerTop\":0,\"drawerWidth\":0,\"drawerHeight\":0,"
        "\"drawerViewMode\":0,\"drawerShowAll\":0,\"stackSize\":4096,\"defaultTool\":\"Caf\xC3\xA9\","
        "\"toolTypes\":[\"A=1\",\"B\"],\"images\":["
        "{\"width\":2,\"height\":2,\"depth\":2,\"flags\":1,\"transparentPen\":0},"
        "{\"width\":1,\"height\":1,\"depth\":32,\"flags\":0,\"transparentPen\":-1}]}";
    EXPECT_EQ(lines(result.out), (std::vector<std::string>{expected, expected}));

    const Result text = run({"info", icon.string()}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("defaultTool: Caf\xC3\xA9\ntoolTypes: 2\n  A=1\n  B\nimages: 2\n"),
              std::string::npos)
        << text.out;
}

TEST_F(Tool, ExtractWritesEveryPictureAsRgbaPng) {
    const fs::path icon = file("icon.info", kFakeIcon);
    const fs::path out = folder_ / "out";
    const Result result = run({"extract", icon.string(), "-o", out.string()}, PICTRA_FAKE_MODULE);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(out))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"icon-0.png", "icon-1.png"}));

    const std::vector<std::vector<uint32_t>> pixels{
        {0x00112233, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000}, {0x80FF0000}};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::string bytes = slurp(out / ("icon-" + std::to_string(i) + ".png"));
        const auto picture = pictra::host::decodeImage(
            std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        ASSERT_TRUE(picture) << i;
        EXPECT_EQ(picture->pixels, pixels[i]) << i;
    }

    // A second icon with the same stem would overwrite those pictures.
    fs::create_directories(folder_ / "other");
    const fs::path twin = folder_ / "other" / "icon.info";
    std::ofstream(twin, std::ios::binary) << kFakeIcon;
    const Result clash =
        run({"extract", icon.string(), twin.string(), "-o", out.string()}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(clash.status, 1);
    EXPECT_EQ(clash.err, "pictra: " + twin.string() + ": its pictures would overwrite those of " +
                             icon.string() + "\n");
}

TEST_F(Tool, ConvertReplacesTheTargetOnlyWhenTheSaveSucceeds) {
    const fs::path icon = file("icon.info", kFakeIcon);
    const fs::path target = file("out.info", "precious");
    const Result failed = run({"convert", icon.string(), target.string(), "--format", "fake",
                               "--compress"},
                              PICTRA_FAKE_MODULE);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err,
              "pictra: " + target.string() + ": the module could not save this icon as FAKE\n");
    EXPECT_EQ(slurp(target), "precious");
    EXPECT_EQ(listing(), (std::vector<std::string>{"icon.info", "out.info"}));

    const Result saved =
        run({"convert", icon.string(), target.string(), "-f", "Fake"}, PICTRA_FAKE_MODULE);
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(slurp(target), "saved pt Caf\xE9");  // attributes reached the saver
    EXPECT_EQ(listing(), (std::vector<std::string>{"icon.info", "out.info"}));
}

}  // namespace
