#include "commands.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "errors.h"
#include "extract.h"
#include "formats.h"
#include "host/registry.h"
#include "host/streams.h"
#include "icon_file.h"
#include "info.h"
#include "safe_save.h"
#include "session.h"

#ifndef PICTRA_VERSION
#define PICTRA_VERSION "0"
#endif

namespace pictra::cli {

namespace {

struct Options {
    std::string modulePath;
    bool json = false;
    std::vector<std::string> files;
    std::string outputFolder;
    std::string input;
    std::string output;
    std::string formatName;
    bool compress = false;
};

// A usage error found after parsing: reported like the parser's own.
struct UsageError {
    std::string message;
};

// The subcommand the words named, or empty when none was parsed.
std::string subcommandName(const CLI::App* app) {
    const auto parsed = app->get_subcommands();
    return parsed.empty() ? std::string() : parsed.front()->get_name();
}

// Every usage error in one style: "pictra: [SUBCOMMAND: ]what", then where
// the help for what was being used is.
std::string usageMessage(const std::string& subcommand, const std::string& what) {
    const std::string command = subcommand.empty() ? "pictra" : "pictra " + subcommand;
    return fmt::format("pictra: {}{}\nRun '{} --help' for more information.\n",
                       subcommand.empty() ? "" : subcommand + ": ", what, command);
}

// The parser's messages start with a capital ("The following argument was
// not expected"); the tool's start in lower case. Names in capitals (FILE,
// OUT) keep theirs.
std::string toolStyle(std::string text) {
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        !std::isupper(static_cast<unsigned char>(text[1])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Runs `work` on each file; every failure is reported and the result says
// whether any happened.
template <typename Work>
int forEachFile(const std::vector<std::string>& files, Work work) {
    int status = kExitSuccess;
    for (const std::string& file : files) {
        try {
            work(file);
        } catch (const FileError& error) {
            reportFileError(error);
            status = kExitFailure;
        }
    }
    return status;
}

int runFormats(const Session& session, const Options& options) {
    const auto rows = formatRows(session.savers(), host::registeredFormats());
    std::fputs((options.json ? formatsJson(rows) : formatsText(rows)).c_str(), stdout);
    return kExitSuccess;
}

int runInfo(const Session& session, const Options& options) {
    bool first = true;
    return forEachFile(options.files, [&](const std::string& file) {
        const LoadedIcon icon = loadIconFile(session, file);
        const IconSummary summary = summariseIcon(file, icon.format, icon.attributes,
                                                  session.entry().getIconImages(icon.record.get()));
        if (options.json) {
            fmt::print("{}\n", infoJson(summary));
        } else {
            fmt::print("{}{}", first ? "" : "\n", infoText(summary));
            first = false;
        }
        std::fflush(stdout);
    });
}

int runExtract(const Session& session, const Options& options) {
    std::error_code error;
    std::filesystem::create_directories(options.outputFolder, error);
    if (error || !std::filesystem::is_directory(options.outputFolder, error)) {
        reportFileError(FileError(options.outputFolder,
                                  "cannot create folder: " +
                                      (error ? error.message() : "not a folder")));
        return kExitFailure;
    }
    // Stems used so far in this run, with their icons: a second icon with
    // the same stem would overwrite the first one's pictures.
    std::vector<std::pair<std::string, std::string>> stems;
    return forEachFile(options.files, [&](const std::string& file) {
        const std::string stem = std::filesystem::path(file).stem().string();
        for (const auto& [usedStem, usedBy] : stems)
            if (usedStem == stem)
                throw FileError(file, "its pictures would overwrite those of " + usedBy);
        const LoadedIcon icon = loadIconFile(session, file);
        stems.emplace_back(stem, file);
        const std::size_t count = extractPictures(
            file, session.entry().getIconImages(icon.record.get()), options.outputFolder);
        if (count == 0) throw FileError(file, "the icon has no pictures");
    });
}

int runConvert(const Session& session, const Options& options) {
    const std::string name = saverNameFor(options.formatName, options.output);
    const host::Saver* saver = findSaver(session.savers(), name);
    if (!saver) {
        std::string known;
        for (const host::Saver& each : session.savers()) known += (known.empty() ? "" : ", ") + each.name;
        throw UsageError{fmt::format("unknown format '{}' (known: {})", name, known)};
    }
    return forEachFile({options.input}, [&](const std::string& file) {
        LoadedIcon icon = loadIconFile(session, file);
        IconImage* images = session.entry().getIconImages(icon.record.get());
        if (!images) throw FileError(file, "the icon has no pictures");
        PendingFile target(options.output);
        const TagItem tags[] = {
            {SaveTagFormat, saver->formatId},
            {SaveTagCompress, options.compress ? 1u : 0u},
            {SaveTagAttributes, reinterpret_cast<uintptr_t>(&icon.attributes)},
            {TagEnd, 0},
        };
        const std::size_t lostBefore = host::streamCounters().failedWrites;
        if (session.entry().saveIcon(target.tempPath().c_str(), images, tags) == 0)
            throw FileError(options.output,
                            "the module could not save this icon as " + saver->name);
        // The module cannot see failed writes (a full disk): the host counts them.
        if (host::streamCounters().failedWrites != lostBefore)
            throw FileError(options.output, "cannot write: the file could not be stored in full");
        target.commit();
    });
}

std::string failureMessage(const CLI::App* app, const CLI::Error& error) {
    // A mistyped subcommand is left over as an extra word; say so rather
    // than that a subcommand is missing.
    const std::vector<std::string> extra = app->remaining();
    const std::string subcommand = subcommandName(app);
    const std::string what = subcommand.empty() && !extra.empty()
                                 ? "unknown subcommand '" + extra.front() + "'"
                                 : toolStyle(error.what());
    return usageMessage(subcommand, what);
}

}  // namespace

int runTool(int argc, char** argv) {
    Options options;
    CLI::App app{"pictra: read, inspect and convert Amiga, Windows and macOS icons", "pictra"};
    app.set_version_flag("--version", "pictra " PICTRA_VERSION);
    app.add_option("--module", options.modulePath,
                   "The pictra.vxm to load (default: $PICTRA_MODULE, else the one next to pictra)")
        ->type_name("PATH");
    app.require_subcommand(1);
    app.failure_message(failureMessage);

    CLI::App* formats = app.add_subcommand("formats", "List the formats the module can save");
    formats->add_flag("--json", options.json, "One JSON object per format, one per line");

    CLI::App* info = app.add_subcommand("info", "Show the attributes and pictures of icons");
    info->add_flag("--json", options.json, "One JSON object per file, one per line");
    info->add_option("FILE", options.files, "Icon files")->required()->type_name("");

    CLI::App* extract = app.add_subcommand("extract", "Write every picture of icons as RGBA PNG");
    extract->add_option("FILE", options.files, "Icon files")->required()->type_name("");
    extract->add_option("-o,--output", options.outputFolder,
                        "Folder for STEM-INDEX.png files (created if missing)")
        ->required()
        ->type_name("DIR");

    CLI::App* convert = app.add_subcommand("convert", "Save an icon in another format");
    convert->add_option("IN", options.input, "Icon file to read")->required()->type_name("");
    convert->add_option("OUT", options.output, "File to write (replaced only on success)")
        ->required()
        ->type_name("");
    convert->add_option("-f,--format", options.formatName,
                        "Saver name, any case (see 'pictra formats'); "
                        "default WINDOWS for .ico and MACOS for .icns")
        ->type_name("NAME");
    convert->add_flag("-c,--compress", options.compress,
                      "Compress pictures where the format allows it");

    for (CLI::App* command : {formats, info, extract, convert}) command->fallthrough();
    app.footer("Exit status: 0 success, 1 an input could not be processed, 2 usage error.");

    try {
        app.parse(argc, argv);
        // Saving to a folder's name would fail only at the very end, and in
        // the system's words for a rename.
        std::error_code ignored;
        if (convert->parsed() &&
            (options.output.ends_with('/') || std::filesystem::is_directory(options.output, ignored))) {
            reportFileError(FileError(options.output, "is a folder; OUT must name the file to write"));
            return kExitFailure;
        }
        if (convert->parsed() && saverNameFor(options.formatName, options.output).empty())
            throw CLI::ValidationError(
                "cannot tell the format from '" + options.output +
                "'; give --format NAME (see 'pictra formats')");
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    }

    std::string error;
    const std::unique_ptr<Session> session = Session::open(options.modulePath, error);
    if (!session) {
        reportError(error);
        return kExitFailure;
    }
    int status = kExitSuccess;
    try {
        if (formats->parsed())
            status = runFormats(*session, options);
        else if (info->parsed())
            status = runInfo(*session, options);
        else if (extract->parsed())
            status = runExtract(*session, options);
        else
            status = runConvert(*session, options);
    } catch (const UsageError& usage) {
        std::fputs(usageMessage(subcommandName(&app), usage.message).c_str(), stderr);
        return kExitUsage;
    }
    // A full disk or closed pipe behind stdout is a failure too.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        reportError("cannot write the output: " + systemMessage(errno));
        return kExitFailure;
    }
    return status;
}

}  // namespace pictra::cli
