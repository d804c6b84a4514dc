// `pictra info`: the attributes and pictures of icons.
#include <cstdio>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "command.h"
#include "icon_file.h"
#include "info.h"

namespace pictra::cli {

namespace {

class InfoCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("info", "Show the attributes and pictures of icons");
        CLI::Option* json = command->add_flag("--json", json_, "One JSON object per file, one per line");
        command->add_flag("--table", table_, "One line per picture (the default when output is a terminal)")
            ->excludes(json);
        command->add_option("FILE", files_, "Icon files")->required()->type_name("");
        return command;
    }

    int run(const Session& session) override {
        // People read a terminal; scripts read the field-per-line form.
        const bool table = table_ || (!json_ && isatty(STDOUT_FILENO));
        if (table) fmt::print("{}", infoTableHeader());
        bool first = true;
        return forEachFile(files_, [&](const std::string& file) {
            const LoadedIcon icon = loadIconFile(session, file);
            IconSummary summary = summariseIcon(file, icon.format, icon.attributes,
                                                session.entry().getIconImages(icon.record.get()));
            summary.hasAttributes = summary.hasAttributes && icon.amigaAttributes;
            if (json_) {
                fmt::print("{}\n", infoJson(summary));
            } else if (table) {
                fmt::print("{}", infoTable(summary));
            } else {
                fmt::print("{}{}", first ? "" : "\n", infoText(summary));
                first = false;
            }
            std::fflush(stdout);
        });
    }

private:
    bool json_ = false;
    bool table_ = false;
    std::vector<std::string> files_;
};

}  // namespace

std::unique_ptr<Command> makeInfoCommand() { return std::make_unique<InfoCommand>(); }

}  // namespace pictra::cli
