// `pictra extract`: every picture of icons as RGBA PNG files.
#include <filesystem>
#include <utility>

#include <CLI/CLI.hpp>

#include "command.h"
#include "extract.h"
#include "icon_file.h"

namespace pictra::cli {

namespace {

class ExtractCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("extract", "Write every picture of icons as RGBA PNG");
        command->add_option("FILE", files_, "Icon files")->required()->type_name("");
        command->add_option("-o,--output", folder_, "Folder for STEM-INDEX.png files (created if missing)")
            ->required()
            ->type_name("DIR");
        return command;
    }

    int run(const Session& session) override {
        std::error_code error;
        std::filesystem::create_directories(folder_, error);
        if (error || !std::filesystem::is_directory(folder_, error)) {
            reportFileError(FileError(
                folder_, "cannot create folder: " + (error ? error.message() : "not a folder")));
            return kExitFailure;
        }
        // Stems used so far in this run, with their icons: a second icon with
        // the same stem would overwrite the first one's pictures.
        std::vector<std::pair<std::string, std::string>> stems;
        return forEachFile(files_, [&](const std::string& file) {
            const std::string stem = std::filesystem::path(file).stem().string();
            for (const auto& [usedStem, usedBy] : stems)
                if (usedStem == stem)
                    throw FileError(file, "its pictures would overwrite those of " + usedBy);
            const LoadedIcon icon = loadIconFile(session, file);
            stems.emplace_back(stem, file);
            const std::size_t count =
                extractPictures(file, session.entry().getIconImages(icon.record.get()), folder_);
            if (count == 0) throw FileError(file, "the icon has no pictures");
        });
    }

private:
    std::vector<std::string> files_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<Command> makeExtractCommand() { return std::make_unique<ExtractCommand>(); }

}  // namespace pictra::cli
