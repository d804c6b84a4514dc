// `pictra convert`: an icon saved in another format.
#include <filesystem>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "command.h"
#include "formats.h"
#include "host/streams.h"
#include "icon_file.h"
#include "safe_save.h"

namespace pictra::cli {

namespace {

class ConvertCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("convert", "Save an icon in another format");
        command->add_option("IN", input_, "Icon file to read")->required()->type_name("");
        command->add_option("OUT", output_, "File to write (replaced only on success)")
            ->required()
            ->type_name("");
        command->add_option("-f,--format", formatName_,
                            "Saver name, any case (see 'pictra formats'); "
                            "default WINDOWS for .ico and MACOS for .icns")
            ->type_name("NAME");
        command->add_flag("-c,--compress", compress_, "Compress pictures where the format allows it");
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
        PendingFile target(output_);
        const TagItem tags[] = {
            {SaveTagFormat, saver.formatId},
            {SaveTagCompress, compress_ ? 1u : 0u},
            {SaveTagAttributes, reinterpret_cast<uintptr_t>(&icon.attributes)},
            {TagEnd, 0},
        };
        const std::size_t lostBefore = host::streamCounters().failedWrites;
        if (session.entry().saveIcon(target.tempPath().c_str(), images, tags) == 0)
            throw FileError(output_, "the module could not save this icon as " + saver.name);
        // The module cannot see failed writes (a full disk): the host counts them.
        if (host::streamCounters().failedWrites != lostBefore)
            throw FileError(output_, "cannot write: the file could not be stored in full");
        target.commit();
    }

    std::string input_;
    std::string output_;
    std::string formatName_;
    bool compress_ = false;
};

}  // namespace

std::unique_ptr<Command> makeConvertCommand() { return std::make_unique<ConvertCommand>(); }

}  // namespace pictra::cli
