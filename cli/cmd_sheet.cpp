// `pictra sheet`: every picture of icons in one PNG file, labelled.
#include <CLI/CLI.hpp>
#include <fmt/core.h>

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
        command->add_option("FILE", files_, "Icon files")->required()->type_name("");
        command->add_option("-o,--output", output_, "The PNG file to write (replaced only on success)")
            ->required()
            ->type_name("SHEET.png");
        command
            ->add_option("--scale", scale_,
                         fmt::format("Draw each picture N times its size (1 to {})", kMaxSheetScale))
            ->check(CLI::Range(1u, kMaxSheetScale))
            ->type_name("N")
            ->default_val(1);
        return command;
    }

    int run(const Session& session) override {
        std::vector<SheetIcon> icons;
        const int status = forEachFile(files_, [&](const std::string& file) {
            const LoadedIcon icon = loadIconFile(session, file);
            icons.push_back(sheetIcon(file, session.entry().getIconImages(icon.record.get())));
        });
        if (icons.empty()) {
            reportFileError(FileError(output_, "not written: no icon could be read"));
            return kExitFailure;
        }
        std::string error;
        const std::optional<SheetLayout> layout = layoutSheet(icons, scale_, error);
        if (!layout) {
            reportFileError(FileError(output_, error));
            return kExitFailure;
        }
        const host::Picture sheet = drawSheet(icons, *layout, scale_);
        const std::vector<uint8_t> png = host::encodePng(sheet.pixels.data(), sheet.width, sheet.height);
        if (png.empty()) {
            reportFileError(FileError(output_, "PNG encoding failed"));
            return kExitFailure;
        }
        try {
            writeFileSafely(output_, png);
        } catch (const FileError& failure) {
            reportFileError(failure);
            return kExitFailure;
        }
        return status;
    }

private:
    std::vector<std::string> files_;
    std::string output_;
    uint32_t scale_ = 1;
};

}  // namespace

std::unique_ptr<Command> makeSheetCommand() { return std::make_unique<SheetCommand>(); }

}  // namespace pictra::cli
