// `pictra sheet`: every picture of icons in one PNG file, labelled.
#include <map>
#include <mutex>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "batch.h"
#include "command.h"
#include "extract.h"
#include "host/images.h"
#include "icon_file.h"
#include "info.h"
#include "label_font.h"
#include "safe_save.h"
#include "sheet.h"

namespace pictra::cli {

namespace {

// Size, depth and the flags set, one per line.
std::vector<std::string> pictureLabel(const IconImage& image) {
    std::vector<std::string> lines = {fmt::format("{}x{}", image.width, image.height),
                                      fmt::format("depth {}", image.depth)};
    if (const std::string flags = flagNames(image.flags); !flags.empty()) lines.push_back(flags);
    return lines;
}

// The icon's pictures as the sheet draws them; throws FileError naming
// `file` for a picture that cannot be shown.
SheetIcon sheetIcon(const std::string& file, const IconImage* firstImage) {
    SheetIcon icon;
    icon.title = fontText(file);
    for (const IconImage* image = firstImage; image; image = image->next) {
        if (icon.pictures.size() == kMaxListLength)
            throw FileError(file, "the icon's picture list does not end");
        std::string error;
        std::optional<std::vector<uint32_t>> rgba = expandPicture(*image, error);
        if (!rgba)
            throw FileError(file, fmt::format("picture {}: {}", icon.pictures.size(), error));
        host::Picture picture{static_cast<uint32_t>(image->width),
                              static_cast<uint32_t>(image->height), std::move(*rgba)};
        icon.pictures.push_back({std::move(picture), pictureLabel(*image)});
    }
    if (icon.pictures.empty()) throw FileError(file, "the icon has no pictures");
    return icon;
}

class SheetCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command =
            app.add_subcommand("sheet", "Draw every picture of icons into one PNG, labelled");
        command->add_option("FILE", batch_.inputs, "Icon files (and folders, with -r)")
            ->required()
            ->type_name("");
        command->add_option("-o,--output", output_, "The PNG file to write (replaced only on success)")
            ->required()
            ->type_name("SHEET.png");
        command
            ->add_option("--scale", scale_,
                         fmt::format("Draw each picture N times its size (1 to {})", kMaxSheetScale))
            ->check(CLI::Range(1u, kMaxSheetScale))
            ->type_name("N")
            ->default_val(1);
        addBatchOptions(*command, batch_);
        return command;
    }

    int run(const Session& session) override {
        Batch batch(batch_);
        // Each icon is kept by its place among the inputs, so the sheet
        // shows them in input order whatever -j is.
        std::mutex lock;
        std::map<std::size_t, SheetIcon> read;
        const int status = batch.run(session, [&](const Session& own, const BatchItem& item) {
            const LoadedIcon icon = loadIconFile(own, item.path);
            SheetIcon one = sheetIcon(item.path, own.entry().getIconImages(icon.record.get()));
            const std::lock_guard hold(lock);
            read.emplace(item.index, std::move(one));
            return BatchOutput{};
        });
        std::vector<SheetIcon> icons;
        for (auto& [index, icon] : read) icons.push_back(std::move(icon));
        try {
            writeSheet(icons);
        } catch (const FileError& failure) {
            reportFileError(failure);
            return kExitFailure;
        }
        return status;
    }

private:
    // Draws `icons` into the output file; throws FileError naming it.
    void writeSheet(const std::vector<SheetIcon>& icons) const {
        if (icons.empty()) throw FileError(output_, "not written: no icon could be read");
        std::string error;
        const std::optional<SheetLayout> layout = layoutSheet(icons, scale_, error);
        if (!layout) throw FileError(output_, error);
        const host::Picture sheet = drawSheet(icons, *layout, scale_);
        const std::vector<uint8_t> png = host::encodePng(sheet.pixels.data(), sheet.width, sheet.height);
        if (png.empty()) throw FileError(output_, "PNG encoding failed");
        writeFileSafely(output_, png);
    }

    BatchOptions batch_;
    std::string output_;
    uint32_t scale_ = 1;
};

}  // namespace

std::unique_ptr<Command> makeSheetCommand() { return std::make_unique<SheetCommand>(); }

}  // namespace pictra::cli
