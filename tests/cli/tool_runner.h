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

// Over any fixture with a scratch folder (ScratchTest and those built on it).
template <class Base>
class ToolRunner : public Base {
protected:
    // Runs pictra with `args`, after --module `module` unless that is null,
    // in the folder `cwd` when given. Its standard input is /dev/null.
    Result run(std::vector<std::string> args, const char* module = PICTRA_TEST_MODULE,
               const char* cwd = nullptr) {
        if (module) args.insert(args.begin(), {"--module", module});
        std::string command = (cwd ? "cd " + quoted(cwd) + " && " : "") + quoted(PICTRA_TEST_TOOL);
        for (const std::string& arg : args) command += " " + quoted(arg);
        const std::string out = this->path(".stdout"), err = this->path(".stderr");
        command += " </dev/null >" + quoted(out) + " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        Result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    std::string file(const std::string& name, const std::string& bytes) {
        writeText(this->path(name), bytes);
        return this->path(name);
    }
};
class ToolTest : public ToolRunner<ScratchTest> {};

}  // namespace pictra::test
