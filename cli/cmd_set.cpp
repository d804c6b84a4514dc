// `pictra set`: the Amiga attributes of icons edited in place.
#include <stdexcept>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "amiga_edit.h"
#include "amiga_set.h"
#include "batch.h"
#include "command.h"
#include "icon_file.h"
#include "info.h"
#include "text.h"

namespace pictra::cli {

namespace {

class SetCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand(
            "set", "Edit the attributes of Amiga icons in place (without options: show them)");
        command->add_option("FILE", batch_.inputs,
                            "Amiga icon files (classic, NewIcons, OS 3.5, OS 4, PNG icons), and folders with -r")
            ->required()
            ->type_name("");
        addBatchOptions(*command, batch_);
        command->add_option("--type", type_, "Icon type: disk, drawer, tool, project, garbage, device, kick, "
                                              "appicon (any case) or 1-255")
            ->type_name("NAME|N");
        defaultToolOption_ =
            command->add_option("--default-tool", defaultTool_, "The program that opens the icon's file")
                ->type_name("TEXT");
        command->add_flag("--no-default-tool", noDefaultTool_, "Remove the default tool")->excludes(defaultToolOption_);
        command->add_option("--tool-type", addToolTypes_, "Add a tool type at the end (repeatable)")
            ->type_name("TEXT");
        command->add_option("--remove-tool-type", removeToolTypes_,
                            "Remove the tool types called NAME, the part before '=' (any case; repeatable)")
            ->type_name("NAME");
        command->add_option("--set-tool-type", setToolTypes_,
                            "Replace the first tool type called NAME, or add it (repeatable)")
            ->type_name("NAME=VALUE");
        command->add_flag("--clear-tool-types", edit_.clearToolTypes, "Remove every tool type");
        command->add_option("--stack", stack_, "Stack size in bytes")->type_name("N");
        CLI::Option* position =
            command->add_option("--position", position_, "Where the icon sits in its window")->type_name("X,Y");
        command->add_flag("--no-position", noPosition_, "Let the desktop place the icon")->excludes(position);
        command->add_option("--drawer", drawer_, "Disks, drawers, trashcans: where the window opens")
            ->type_name("LEFT,TOP,WIDTH,HEIGHT");
        command->add_option("--view-mode", viewMode_, "Disks, drawers, trashcans: how the window shows its contents")
            ->type_name("N");
        command->add_option("--show-all", showAll_, "Disks, drawers, trashcans: show all files or only those with icons")
            ->type_name("yes|no");
        command->add_flag("--dry-run", dryRun_, "Show the change and check the save, but leave the files alone");
        command->footer(
            "Tool types are edited in this order: cleared, removed, set, added. Each icon keeps its own "
            "format: only the parts that hold the attributes are rewritten, into "
            "a temporary file that is read back first: if that would change anything not asked for (a "
            "picture, another attribute, the kind of file), the icon is left as it was and the reason is "
            "printed.");
        return command;
    }

    void check() override {
        // Each value's fault is reported with the option that gave it.
        const auto checked = [](const char* option, auto parse) {
            try {
                return parse();
            } catch (const std::invalid_argument& error) {
                throw CLI::ValidationError(fmt::format("{}: {}", option, error.what()));
            }
        };
        if (!type_.empty()) edit_.type = checked("--type", [&] { return parseIconType(type_); });
        if (noDefaultTool_) edit_.defaultTool = std::optional<std::string>();
        if (defaultToolOption_->count() > 0)
            edit_.defaultTool = checked("--default-tool", [&] { return std::optional(iconText(defaultTool_, false)); });
        for (const std::string& text : addToolTypes_)
            edit_.addToolTypes.push_back(checked("--tool-type", [&] { return iconText(text, true); }));
        for (const std::string& name : removeToolTypes_)
            edit_.removeToolTypes.push_back(checked("--remove-tool-type", [&] { return iconText(name, true); }));
        for (const std::string& text : setToolTypes_)
            edit_.setToolTypes.push_back(checked("--set-tool-type", [&] { return toolTypeAssignment(text); }));
        if (!stack_.empty()) edit_.stackSize = checked("--stack", [&] { return parseNumber(stack_, 0, INT32_MAX); });
        if (!position_.empty()) edit_.position = checked("--position", [&] { return parsePosition(position_); });
        if (noPosition_) edit_.position = std::array<int32_t, 2>{kNoIconPosition, kNoIconPosition};
        if (!drawer_.empty()) edit_.drawer = checked("--drawer", [&] { return parseDrawer(drawer_); });
        if (!viewMode_.empty())
            edit_.drawerViewMode = checked("--view-mode", [&] { return parseNumber(viewMode_, 0, 0xFFFF); });
        if (!showAll_.empty()) edit_.drawerShowAll = checked("--show-all", [&] { return parseYesNo(showAll_); });
    }

    int run(const Session& session) override {
        const bool showing = edit_.empty() && !dryRun_;
        Batch batch(batch_);
        const auto work = [this, showing](const Session& own, const BatchItem& item) {
            return BatchOutput{showing ? shown(own, item.path) : edited(own, item.path), ""};
        };
        // The field-per-line form puts an empty line between two icons.
        return batch.run(session, work, showing ? "\n" : "");
    }

private:
    static std::string shown(const Session& session, const std::string& file) {
        checkAmigaIcon(file);
        const LoadedIcon icon = loadIconFile(session, file);
        return infoText(
            summariseIcon(file, icon.format, icon.attributes, session.entry().getIconImages(icon.record.get())));
    }

    std::string edited(const Session& session, const std::string& file) const {
        const SetReport report = setIconAttributes(session, file, edit_, dryRun_);
        if (!dryRun_) return "";
        std::string out = fmt::format("{}: {} icon{}\n", printable(file), report.saver,
                                      report.changes.empty() ? ", no change" : "");
        for (const std::string& line : report.changes) out += "  " + line + "\n";
        return out;
    }

    BatchOptions batch_;
    std::string type_;
    std::string defaultTool_;
    CLI::Option* defaultToolOption_ = nullptr;
    bool noDefaultTool_ = false;
    std::vector<std::string> addToolTypes_;
    std::vector<std::string> removeToolTypes_;
    std::vector<std::string> setToolTypes_;
    std::string stack_;
    std::string position_;
    bool noPosition_ = false;
    std::string drawer_;
    std::string viewMode_;
    std::string showAll_;
    bool dryRun_ = false;
    AttributeEdit edit_;
};

}  // namespace

std::unique_ptr<Command> makeSetCommand() { return std::make_unique<SetCommand>(); }

}  // namespace pictra::cli
