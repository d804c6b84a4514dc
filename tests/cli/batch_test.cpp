// Many files at once: folder walks, workers, ordered output, the summary
// and the exit status, the same whatever -j is.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using pictra::test::lines;
using pictra::test::readText;
using pictra::test::Result;

const std::string kCorpus = PICTRA_TEST_CORPUS;

class Batch : public pictra::test::ToolTest {
protected:
    // A tree of good icons of three formats, two damaged ones (cut short)
    // and a text file; walked_ has the icons in the order a walk meets them.
    void SetUp() override {
        ToolTest::SetUp();
        const std::string ico = "ico/WinUAE__od-win32_resources_cpu.ico";
        const std::string classic = "amiga/classic/3DToolbox-Amiga__3DToolbox_3DView_3DViewMUI.e.info";
        struct Copy { const char* name; std::string source; std::size_t cut; };
        const Copy files[] = {
            {"tree/a/b/broken.info", classic, 30},
            {"tree/a/b/good.icns", "icns/ApolloExplorer__ApolloExplorerPC_icons_ApolloExplorer.icns", 0},
            {"tree/a/broken.ico", ico, 100},
            {"tree/a/good.ico", ico, 0},
            {"tree/c/good.info", classic, 0},
        };
        for (const Copy& copy : files) {
            fs::create_directories(fs::path(path(copy.name)).parent_path());
            const std::string bytes = readText(kCorpus + "/" + copy.source);
            file(copy.name, copy.cut ? bytes.substr(0, copy.cut) : bytes);
            walked_.push_back(path(copy.name));
        }
        file("tree/notes.txt", "not an icon at all\n");
    }

    std::vector<std::string> walked_;
};

// Every file under `root` with its bytes, by path below it.
std::map<std::string, std::string> contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = readText(entry.path());
    return files;
}

TEST_F(Batch, AWalkGivesTheSameOutputAndSummaryForOneWorkerAndFour) {
    const std::string summary = "pictra: 3 done, 2 failed, 1 skipped\n";
    for (const char* json : {"--json", ""}) {
        std::vector<Result> results;
        for (const char* jobs : {"1", "4"}) {
            std::vector<std::string> args{"info", "-r", path("tree"), "-j", jobs};
            if (*json) args.push_back(json);
            results.push_back(run(args));
            EXPECT_EQ(results.back().status, 1) << jobs;
            ASSERT_GE(results.back().err.size(), summary.size());
            EXPECT_EQ(results.back().err.substr(results.back().err.size() - summary.size()), summary);
        }
        EXPECT_EQ(results[0].out, results[1].out);
        EXPECT_EQ(results[0].err, results[1].err);
        // The failures, one line each, in walk order, before the summary.
        const auto said = lines(results[0].err);
        ASSERT_EQ(said.size(), 3u) << results[0].err;
        EXPECT_EQ(said[0].rfind("pictra: " + walked_[0] + ": ", 0), 0u) << said[0];
        EXPECT_EQ(said[1].rfind("pictra: " + walked_[2] + ": ", 0), 0u) << said[1];
    }

    std::vector<std::map<std::string, std::string>> outputs;
    for (const char* jobs : {"1", "4"}) {
        const std::string out = path(std::string("out") + jobs);
        const Result result = run({"convert", "-r", path("tree"), "-o", out, "-f", "windows", "-j", jobs});
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(lines(result.err).back(), summary.substr(0, summary.size() - 1));
        outputs.push_back(contents(out));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : outputs[0]) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"a/b/good.ico", "a/good.ico", "c/good.ico"}));
}

// Named files come out in the order given, whichever worker finishes
// first, and the text form keeps one empty line between two icons.
TEST_F(Batch, InfoKeepsTheInputOrder) {
    const std::vector<std::string> order{walked_[4], walked_[1], walked_[3], walked_[4]};
    std::vector<std::string> args{"info", "-j", "3"};
    args.insert(args.end(), order.begin(), order.end());
    const Result result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> named;
    std::size_t blank = 0;
    for (const std::string& line : lines(result.out)) {
        if (line.rfind("file: ", 0) == 0) named.push_back(line.substr(6));
        blank += line.empty();
    }
    EXPECT_EQ(named, order);
    EXPECT_EQ(blank, order.size() - 1);
    EXPECT_EQ(result.err, "pictra: 4 done, 0 failed, 0 skipped\n");
    const Result quiet = run({"info", "-q", "-j", "2", walked_[1], walked_[0]});
    EXPECT_EQ(lines(quiet.err).size(), 1u) << quiet.err;
    EXPECT_EQ(quiet.err.rfind("pictra: " + walked_[0] + ": ", 0), 0u) << quiet.err;
}

// Outputs that would land on one name: the first keeps it, the others fail;
// a folder needs -r.
TEST_F(Batch, ConvertNamesOutputsByPatternAndNeverOverwritesAnEarlierOne) {
    fs::copy_file(walked_[1], path("other.icns"));
    const Result result = run({"convert", walked_[3], walked_[4], path("other.icns"), "-o", path("out"), "-f", "WINDOWS",
                               "--name", "{format}-{stem}.{ext}"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pictra: " + walked_[4] + ": its output would overwrite that of " + walked_[3] +
                              "\npictra: 2 done, 1 failed, 0 skipped\n");
    EXPECT_EQ(contents(path("out")).size(), 2u);
    EXPECT_TRUE(fs::exists(path("out/WINDOWS-good.ico")));
    const Result folder = run({"info", path("tree")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "pictra: " + path("tree") + ": is a folder (give -r to go through it)\n"
                          "pictra: 0 done, 1 failed, 0 skipped\n");
}

}  // namespace

namespace {

// Names in error lines are escaped as info escapes them; OUT names as long
// as the file system allows still save (the temporary's name is short).
TEST_F(Batch, NamesAreEscapedAndLongNamesSave) {
    const std::string odd = path("line\nbreak\x1b[31m.ico");
    const Result result = run({"info", odd});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;

    const std::string longest = path(std::string(250, 'n') + ".ico");
    const Result saved = run({"convert", walked_[3], longest});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(fs::exists(longest));
}

// Stopped in the middle of a save, the tool removes the temporaries of every
// worker and ends with 128 + the signal; the target is left as it was.
TEST_F(Batch, ASignalMidSaveLeavesNoTemporaryAndTheTargetIntact) {
    const std::string big = kCorpus + "/icns/amiberry__data_icon.icns";
    fs::create_directories(path("out"));
    fs::create_directories(path("in"));
    std::vector<std::string> inputs;
    for (int copy = 0; copy < 40; ++copy) {
        inputs.push_back(path("in/" + std::to_string(copy) + ".icns"));
        fs::copy_file(big, inputs.back());
    }
    for (const char* jobs : {"1", "4"})
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            const std::string context = std::string("-j ") + jobs + ", signal " + std::to_string(signal);
            std::vector<std::string> args{PICTRA_TEST_TOOL, "--module", PICTRA_TEST_MODULE, "convert", "-q", "-j",
                                          jobs, "-o", path("out"), "-f", "macos", "--name", "{stem}.{ext}"};
            args.insert(args.end(), inputs.begin(), inputs.end());
            file("out/5.icns", "precious");
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::execv(argv[0], argv.data());
                ::_exit(127);
            }
            // Waits for a temporary to appear, then stops the tool.
            bool seen = false;
            for (int tries = 0; tries < 200000 && !seen; ++tries) {
                for (const auto& entry : fs::directory_iterator(path("out")))
                    seen = seen || entry.path().filename().string().rfind(".pictra-", 0) == 0;
                if (!seen) ::usleep(100);
            }
            ::kill(child, signal);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(seen) << context;
            ASSERT_TRUE(WIFEXITED(status)) << context;
            EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << context;
            for (const auto& entry : fs::directory_iterator(path("out")))
                EXPECT_NE(entry.path().filename().string().rfind(".pictra-", 0), 0u) << entry.path() << context;
            const std::string target = readText(path("out/5.icns"));
            EXPECT_TRUE(target == "precious" || target == readText(big) || target.size() > 8) << context;
        }
}

}  // namespace
