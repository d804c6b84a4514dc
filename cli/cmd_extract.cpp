// `pictra extract`: every picture of icons as RGBA PNG files.
#include <filesystem>

#include <CLI/CLI.hpp>

#include "batch.h"
#include "command.h"
#include "extract.h"
#include "icon_file.h"

namespace pictra::cli {

namespace {

namespace fs = std::filesystem;

// Creates `folder` and any missing parents; throws FileError naming it when
// that fails.
void createFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error))
        throw FileError(folder.string(), "cannot create folder: " + (error ? error.message() : "not a folder"));
}

class ExtractCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("extract", "Write every picture of icons as RGBA PNG");
        command->add_option("FILE", batch_.inputs, "Icon files (and folders, with -r)")->required()->type_name("");
        command->add_option("-o,--output", folder_,
                            "Folder for STEM-INDEX.png files (created if missing; "
                            "with -r the input folders are mirrored in it)")
            ->required()
            ->type_name("DIR");
        addBatchOptions(*command, batch_);
        return command;
    }

    int run(const Session& session) override {
        try {
            createFolder(folder_);
        } catch (const FileError& error) {
            reportFileError(error);
            return kExitFailure;
        }
        Batch batch(batch_);
        // The pictures of an icon are STEM-INDEX.png: one stem per folder.
        batch.setOutputs([this](const BatchItem& item) { return outputPath(folder_, "{stem}", item, "", ""); },
                         "its pictures would overwrite those of ");
        return batch.run(session, [](const Session& own, const BatchItem& item) {
            const LoadedIcon icon = loadIconFile(own, item.path);
            const fs::path folder = fs::path(item.output).parent_path();
            if (!item.folder.empty()) createFolder(folder);
            const std::size_t count =
                extractPictures(item.path, own.entry().getIconImages(icon.record.get()), folder.string());
            if (count == 0) throw FileError(item.path, "the icon has no pictures");
            return BatchOutput{};
        });
    }

private:
    BatchOptions batch_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<Command> makeExtractCommand() { return std::make_unique<ExtractCommand>(); }

}  // namespace pictra::cli
