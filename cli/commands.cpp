#include "commands.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "errors.h"
#include "session.h"
#include "text.h"

#ifndef PICTRA_VERSION
#define PICTRA_VERSION "0"
#endif

namespace pictra::cli {

#define PICTRA_COMMAND(maker) std::unique_ptr<Command> maker();
#include "command_list.h"
#undef PICTRA_COMMAND

namespace {

const CommandMaker kCommandMakers[] = {
#define PICTRA_COMMAND(maker) maker,
#include "command_list.h"
#undef PICTRA_COMMAND
};

// The subcommand the words named, or empty when none was parsed.
std::string subcommandName(const CLI::App* app) {
    const auto parsed = app->get_subcommands();
    return parsed.empty() ? std::string() : parsed.front()->get_name();
}

// Every usage error in one style: "pictra: [SUBCOMMAND: ]what", then where
// the help for what was being used is.
std::string usageMessage(const std::string& subcommand, const std::string& what) {
    const std::string command = subcommand.empty() ? "pictra" : "pictra " + subcommand;
    return fmt::format("pictra: {}{}\nRun '{} --help' for more information.\n",
                       subcommand.empty() ? "" : subcommand + ": ", printable(what), command);
}

// The parser's messages start with a capital ("The following argument was
// not expected"); the tool's start in lower case. Names in capitals (FILE,
// OUT) keep theirs.
std::string toolStyle(std::string text) {
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        !std::isupper(static_cast<unsigned char>(text[1])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// The words of the command line, for the messages of the parser's failures.
std::vector<std::string> givenWords;

// A word left over that begins with a dash: an option no command knows, or
// a file name that needs -- before it. The parser splits a word that starts
// with a known short flag (-r.ico is -r and -.ico): the word given is named.
std::optional<std::string> unknownOption(const CLI::App* app) {
    for (const std::string& word : app->remaining(true)) {
        if (word.size() < 2 || word[0] != '-' || word == "--") continue;
        const std::string_view tail = std::string_view(word).substr(1);
        for (const std::string& given : givenWords) {
            if (given == "--") break;
            if (given.size() >= word.size() && given[0] == '-' && given.ends_with(tail)) return given;
        }
        return word;
    }
    return std::nullopt;
}

// Whether `app` takes operands (files) besides its options.
bool takesOperands(const CLI::App* app) {
    return !app->get_options([](const CLI::Option* option) { return option->get_positional(); }).empty();
}

std::string failureMessage(const CLI::App* app, const CLI::Error& error) {
    const std::vector<std::string> extra = app->remaining();
    const std::string subcommand = subcommandName(app);
    std::string what = toolStyle(error.what());
    if (const std::optional<std::string> option = unknownOption(app)) {
        // Said before a missing FILE, which is what such a word was meant to be.
        const CLI::App* used = subcommand.empty() ? app : app->get_subcommand(subcommand);
        what = "unknown option " + *option +
               (takesOperands(used) ? " (put -- before a file name that begins with a dash)" : "");
    } else if (subcommand.empty() && !extra.empty()) {
        // A mistyped subcommand is left over as an extra word; say so rather
        // than that a subcommand is missing.
        what = "unknown subcommand '" + extra.front() + "'";
    }
    return usageMessage(subcommand, what);
}

// The command line: the global options and every subcommand of the list.
struct CommandLine {
    CLI::App app{"pictra: read, inspect and convert Amiga, Windows and macOS icons", "pictra"};
    std::string modulePath;
    std::vector<std::pair<std::unique_ptr<Command>, CLI::App*>> commands;

    CommandLine() {
        app.set_version_flag("--version", "pictra " PICTRA_VERSION);
        app.add_option("--module", modulePath,
                       "The pictra.vxm to load (default: $PICTRA_MODULE, else the one next to pictra, "
                       "else ../lib/pictra/pictra.vxm from its folder)")
            ->type_name("PATH");
        app.require_subcommand(1);
        app.failure_message(failureMessage);
        for (CommandMaker make : kCommandMakers) {
            std::unique_ptr<Command> command = make();
            CLI::App* sub = command->addTo(app);
            sub->fallthrough();
            commands.emplace_back(std::move(command), sub);
        }
        app.footer("Exit status: 0 success, 1 an input could not be processed, 2 usage error.");
    }

    Command& chosen() const {
        for (const auto& [command, sub] : commands)
            if (sub->parsed()) return *command;
        throw std::logic_error("no subcommand parsed");  // require_subcommand(1) rules it out
    }
};

// Parses the words and makes the chosen command's own checks. Returns the
// exit status when the tool is to stop here (help, version, usage error,
// failed check), else nothing.
std::optional<int> parse(CommandLine& line, int argc, char** argv) {
    try {
        givenWords.assign(argv + 1, argv + argc);
        line.app.parse(argc, argv);
        line.chosen().check();
    } catch (const CLI::ParseError& error) {
        const int code = line.app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    } catch (const FileError& error) {
        reportFileError(error);
        return kExitFailure;
    }
    return std::nullopt;
}

// Loads the module and runs the chosen command; what it wrote to stdout must
// reach it too.
int execute(const CommandLine& line) {
    std::string error;
    const std::unique_ptr<Session> session = Session::open(line.modulePath, error);
    if (!session) {
        reportError(error);
        return kExitFailure;
    }
    int status = kExitSuccess;
    try {
        status = line.chosen().run(*session);
    } catch (const UsageError& usage) {
        std::fputs(usageMessage(subcommandName(&line.app), usage.message).c_str(), stderr);
        return kExitUsage;
    }
    // A full disk or closed pipe behind stdout is a failure too.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        reportError("cannot write the output: " + systemMessage(errno));
        return kExitFailure;
    }
    return status;
}

}  // namespace

int runTool(int argc, char** argv) {
    CommandLine line;
    if (const std::optional<int> stop = parse(line, argc, argv)) return *stop;
    return execute(line);
}

}  // namespace pictra::cli
