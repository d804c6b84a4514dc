// `pictra convert`: an icon saved in another format.
#include <cctype>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "adapt.h"
#include "command.h"
#include "formats.h"
#include "icon_file.h"

namespace pictra::cli {

namespace {

class ConvertCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("convert", "Save an icon in another format");
        command->footer(
            "Pictures the format cannot take as they are are adapted, one line on stderr each:\n"
            "  palette pictures become 32-bit ones where the format would store them only through\n"
            "    a lossy mapping or not at all (AMIGAOS40 and PNG icons; MACOS, which maps 8-bit\n"
            "    pictures onto its fixed palette and has only 32-bit pictures from 64 pixels);\n"
            "  pictures larger than the format holds are scaled down to its largest size\n"
            "    (WINDOWS, AMIGAOS, AMIGAOS35, AMIGAOS40: 256; NEWICON: 93);\n"
            "  MACOS sizes outside 16, 32, 48, 64, 128, 256, 512, 1024 are scaled to the nearest\n"
            "    size below (or, with --fit pad, centred on the nearest size above).\n"
            "An icon the format takes as it is is saved unchanged.");
        command->add_option("IN", input_, "Icon file to read")->required()->type_name("");
        command->add_option("OUT", output_, "File to write (replaced only on success)")
            ->required()
            ->type_name("");
        command->add_option("-f,--format", formatName_,
                            "Saver name, any case (see 'pictra formats'); "
                            "default WINDOWS for .ico and MACOS for .icns")
            ->type_name("NAME");
        command->add_flag("-c,--compress", compress_, "Compress pictures where the format allows it");
        command->add_flag("--exact", exact_, "Refuse, instead of adapting, an icon the format cannot take as it is");
        command->add_option("--fit", fitName_, "For sizes MACOS lacks: scale (default) or pad (centre on a "
                                               "transparent canvas)")
            ->check(CLI::IsMember({"scale", "pad"}, CLI::ignore_case))
            ->option_text("scale|pad");
        command->add_flag("-q,--quiet", quiet_, "No line for each adaptation (errors are still printed)");
        return command;
    }

    void check() override {
        // Saving to a folder's name would fail only at the very end, and in
        // the system's words for a rename.
        std::error_code ignored;
        if (output_.ends_with('/') || std::filesystem::is_directory(output_, ignored))
            throw FileError(output_, "is a folder; OUT must name the file to write");
        if (saverNameFor(formatName_, output_).empty())
            throw CLI::ValidationError("cannot tell the format from '" + output_ +
                                       "'; give --format NAME (see 'pictra formats')");
    }

    int run(const Session& session) override {
        const host::Saver& saver = chosenSaver(session);
        return forEachFile({input_}, [&](const std::string& file) { convert(session, saver, file); });
    }

private:
    const host::Saver& chosenSaver(const Session& session) const {
        const std::string name = saverNameFor(formatName_, output_);
        if (const host::Saver* saver = findSaver(session.savers(), name)) return *saver;
        std::string known;
        for (const host::Saver& each : session.savers()) known += (known.empty() ? "" : ", ") + each.name;
        throw UsageError{fmt::format("unknown format '{}' (known: {})", name, known)};
    }

    void convert(const Session& session, const host::Saver& saver, const std::string& file) const {
        LoadedIcon icon = loadIconFile(session, file);
        IconImage* images = session.entry().getIconImages(icon.record.get());
        if (!images) throw FileError(file, "the icon has no pictures");
        const host::IconTarget* target = host::iconTarget(saver.name);
        Adaptation adaptation;
        if (target) adaptation = adaptedOrThrow(file, images, *target);
        if (adaptation.changed) images = adaptation.pictures.images();
        if (!saveIconFile(session, saver, images, icon.attributes, compress_, output_)) {
            const std::string reason = target ? refusalReason(images, *target) : std::string();
            throw FileError(output_, reason.empty() ? "the module could not save this icon as " + saver.name
                                                    : reason + (exact_ ? ": drop --exact or use create" : ""));
        }
        if (!quiet_)
            for (const std::string& change : adaptation.notes)
                fmt::print(stderr, "pictra: {}: {} for {}\n", file, change, saver.name);
    }

    Fit fit() const {
        std::string name = fitName_;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name == "pad" ? Fit::Pad : Fit::Scale;
    }

    // The adaptation `images` need; with --exact, a refusal when they need any.
    Adaptation adaptedOrThrow(const std::string& file, const IconImage* images, const host::IconTarget& target) const {
        Adaptation adaptation;
        try {
            adaptation = adaptPictures(images, target, fit());
        } catch (const std::runtime_error& error) {
            throw FileError(file, error.what());
        }
        if (exact_ && adaptation.changed) {
            const std::string reason = refusalReason(images, target);
            throw FileError(file, (reason.empty() ? adaptation.rule + "; this icon needs its " + adaptation.notes.front()
                                                  : reason) +
                                      ": drop --exact or use create");
        }
        return adaptation;
    }

    std::string input_;
    std::string output_;
    std::string formatName_;
    bool compress_ = false;
    bool exact_ = false;
    std::string fitName_ = "scale";  // scale or pad, any case
    bool quiet_ = false;
};

}  // namespace

std::unique_ptr<Command> makeConvertCommand() { return std::make_unique<ConvertCommand>(); }

}  // namespace pictra::cli
