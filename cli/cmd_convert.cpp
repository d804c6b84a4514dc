// `pictra convert`: icons saved in another format, one (IN OUT) or many
// (IN... -o DIR).
#include <cctype>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "adapt.h"
#include "batch.h"
#include "command.h"
#include "formats.h"
#include "icon_file.h"
#include "text.h"

namespace pictra::cli {

namespace {

namespace fs = std::filesystem;

class ConvertCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("convert", "Save icons in another format");
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
        command->add_option("IN", batch_.inputs,
                            "Icon files to read (and folders, with -r); without -o the last word is OUT, "
                            "the file to write (replaced only on success)")
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
        command->add_option("-o,--output", folder_,
                            "Folder for the outputs (created if missing; with -r the input folders "
                            "are mirrored in it); needs --format")
            ->type_name("DIR");
        command->add_option("--name", pattern_, "Output name under -o: {stem}, {ext} and {format} are put in")
            ->type_name("PATTERN")
            ->default_str(pattern_);
        addBatchOptions(*command, batch_);
        return command;
    }

    void check() override {
        if (!folder_.empty()) {
            if (formatName_.empty()) throw CLI::ValidationError("--format NAME is required with --output");
            checkNamePattern(pattern_);
            return;
        }
        if (batch_.recursive) throw CLI::ValidationError("--recursive needs --output DIR");
        if (batch_.inputs.size() < 2) throw CLI::ValidationError("OUT is required");
        if (batch_.inputs.size() > 2)
            throw CLI::ValidationError("give IN OUT, or IN... -o DIR -f NAME for more than one file");
        output_ = batch_.inputs.back();
        batch_.inputs.pop_back();
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
        const host::Saver saver = chosenSaver(session);
        Batch batch(batch_);
        if (folder_.empty()) {
            batch.setOutputs([this](const BatchItem&) { return output_; }, "");
        } else {
            const std::string extension = saverExtension(session.savers(), saver);
            batch.setOutputs(
                [&](const BatchItem& item) { return outputPath(folder_, pattern_, item, extension, saver.name); },
                "its output would overwrite that of ");
        }
        return batch.run(session, [&](const Session& own, const BatchItem& item) {
            return BatchOutput{"", convert(own, saver, item)};
        });
    }

private:
    host::Saver chosenSaver(const Session& session) const {
        const std::string name = saverNameFor(formatName_, output_);
        if (const host::Saver* saver = findSaver(session.savers(), name)) return *saver;
        std::string known;
        for (const host::Saver& each : session.savers()) known += (known.empty() ? "" : ", ") + each.name;
        throw UsageError{fmt::format("unknown format '{}' (known: {})", name, known)};
    }

    // Saves one icon; returns the lines that say what was adapted.
    std::string convert(const Session& session, const host::Saver& saver, const BatchItem& item) const {
        const std::string& file = item.path;
        const std::string& output = item.output;
        if (!folder_.empty()) {
            std::error_code ignored;
            fs::create_directories(fs::path(output).parent_path(), ignored);
        }
        LoadedIcon icon = loadIconFile(session, file);
        IconImage* images = session.entry().getIconImages(icon.record.get());
        if (!images) throw FileError(file, "the icon has no pictures");
        const host::IconTarget* target = host::iconTarget(saver.name);
        Adaptation adaptation;
        if (target) adaptation = adaptedOrThrow(file, images, *target);
        if (adaptation.changed) images = adaptation.pictures.images();
        if (!saveIconFile(session, saver, images, icon.attributes, compress_, output)) {
            const std::string reason = target ? refusalReason(images, *target) : std::string();
            throw FileError(output, reason.empty() ? "the module could not save this icon as " + saver.name
                                                    : reason + (exact_ ? ": drop --exact or use create" : ""));
        }
        std::string notes;
        if (!batch_.quiet)
            for (const std::string& change : adaptation.notes)
                notes += fmt::format("pictra: {}: {} for {}\n", printable(file), change, saver.name);
        return notes;
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

    BatchOptions batch_;
    std::string output_;  // OUT, without -o
    std::string folder_;  // -o
    std::string pattern_ = "{stem}.{ext}";
    std::string formatName_;
    bool compress_ = false;
    bool exact_ = false;
    std::string fitName_ = "scale";  // scale or pad, any case
};

}  // namespace

std::unique_ptr<Command> makeConvertCommand() { return std::make_unique<ConvertCommand>(); }

}  // namespace pictra::cli
