// `pictra formats`: the formats the module can save.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "command.h"
#include "formats.h"
#include "host/registry.h"

namespace pictra::cli {

namespace {

class FormatsCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("formats", "List the formats the module can save");
        command->add_flag("--json", json_, "One JSON object per format, one per line");
        return command;
    }

    int run(const Session& session) override {
        const auto rows = formatRows(session.savers(), host::registeredFormats());
        std::fputs((json_ ? formatsJson(rows) : formatsText(rows)).c_str(), stdout);
        return kExitSuccess;
    }

private:
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> makeFormatsCommand() { return std::make_unique<FormatsCommand>(); }

}  // namespace pictra::cli
