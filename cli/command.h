// A subcommand of the `pictra` tool. Each one lives in its own cmd_NAME.cpp,
// which defines the function that makes it, and is listed once in
// command_list.h; commands.cpp builds the command line from that list.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "session.h"

namespace CLI {
class App;
}

namespace pictra::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // an input could not be processed
inline constexpr int kExitUsage = 2;    // the command line was wrong

// A usage error found after parsing: reported like the parser's own
// ("pictra: SUBCOMMAND: what", then where the help is) with exit status 2.
struct UsageError {
    std::string message;
};

class Command {
public:
    virtual ~Command() = default;
    // Adds the subcommand, its options bound to this object, to `app`.
    virtual CLI::App* addTo(CLI::App& app) = 0;
    // Checks of the parsed options that need more than the parser, made
    // before the module is loaded. Throws CLI::ValidationError for a usage
    // error, FileError for a failure (exit status 1).
    virtual void check() {}
    // Runs the parsed subcommand; returns the exit status. May throw
    // UsageError.
    virtual int run(const Session& session) = 0;
};

using CommandMaker = std::unique_ptr<Command> (*)();

// Runs `work` on each file; every failure is reported and the result says
// whether any happened.
template <typename Work>
int forEachFile(const std::vector<std::string>& files, Work work) {
    int status = kExitSuccess;
    for (const std::string& file : files) {
        try {
            work(file);
        } catch (const FileError& error) {
            reportFileError(error);
            status = kExitFailure;
        }
    }
    return status;
}

}  // namespace pictra::cli
