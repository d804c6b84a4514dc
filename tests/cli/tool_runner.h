// Running the built `pictra` as a user runs it, for the tool's suites: its
// exit status, stdout and stderr.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace pictra::test {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class ToolTest : public ScratchTest {
protected:
    // Runs pictra with `args`, after --module `module` unless that is null,
    // in the folder `cwd` when given. Its standard input is /dev/null.
    Result run(std::vector<std::string> args, const char* module = PICTRA_TEST_MODULE,
               const char* cwd = nullptr) {
        if (module) args.insert(args.begin(), {"--module", module});
        std::string command = (cwd ? "cd " + quoted(cwd) + " && " : "") + quoted(PICTRA_TEST_TOOL);
        for (const std::string& arg : args) command += " " + quoted(arg);
        const std::string out = path(".stdout"), err = path(".stderr");
        command += " </dev/null >" + quoted(out) + " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        Result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    std::string file(const std::string& name, const std::string& bytes) {
        writeText(path(name), bytes);
        return path(name);
    }
};

}  // namespace pictra::test
