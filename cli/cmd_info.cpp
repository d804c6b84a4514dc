// `pictra info`: the attributes and pictures of icons.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "batch.h"
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
        command->add_option("FILE", batch_.inputs, "Icon files (and folders, with -r)")->required()->type_name("");
        addBatchOptions(*command, batch_);
        return command;
    }

    int run(const Session& session) override {
        // People read a terminal; scripts read the field-per-line form.
        const bool table = table_ || (!json_ && isatty(STDOUT_FILENO));
        if (table) fmt::print("{}", infoTableHeader());
        Batch batch(batch_);
        const auto describe = [this, table](const Session& own, const BatchItem& item) {
            const LoadedIcon icon = loadIconFile(own, item.path);
            IconSummary summary = summariseIcon(item.path, icon.format, icon.attributes,
                                                own.entry().getIconImages(icon.record.get()));
            summary.hasAttributes = summary.hasAttributes && icon.amigaAttributes;
            if (json_) return BatchOutput{infoJson(summary) + "\n", ""};
            return BatchOutput{table ? infoTable(summary) : infoText(summary), ""};
        };
        // The field-per-line form puts an empty line between two icons.
        return batch.run(session, describe, json_ || table ? "" : "\n");
    }

private:
    bool json_ = false;
    bool table_ = false;
    BatchOptions batch_;
};

}  // namespace

std::unique_ptr<Command> makeInfoCommand() { return std::make_unique<InfoCommand>(); }

}  // namespace pictra::cli
