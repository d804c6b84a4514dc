// `pictra create`: an icon made from artwork, with the sizes its platform
// expects.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "adapt.h"
#include "amiga_edit.h"
#include "artwork.h"
#include "batch.h"
#include "command.h"
#include "formats.h"
#include "host/icon_art.h"
#include "host/resample.h"
#include "icon_file.h"

namespace pictra::cli {

namespace {

constexpr int32_t kProjectType = 4;
constexpr int32_t kDefaultStack = 4096;
// Where a new disk, drawer or trashcan opens its window, and its size.
constexpr int32_t kWindow[] = {50, 50, 400, 200};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class CreateCommand : public Command {
public:
    CLI::App* addTo(CLI::App& app) override {
        CLI::App* command = app.add_subcommand("create", "Make an icon from artwork (PNG or SVG files)");
        command->add_option("ART", batch_.inputs,
                            "OUT, the icon file to write (replaced only on success), then PNG pictures of "
                            "any size or SVG documents; with -o, artwork files only (and folders, with -r)")
            ->required()
            ->type_name("");
        command->add_option("-o,--output", folder_,
                            "Folder for one icon per artwork file (created if missing); needs --format")
            ->type_name("DIR");
        command->add_option("--name", pattern_, "Icon name under -o: {stem}, {ext} and {format} are put in")
            ->type_name("PATTERN")
            ->default_str(pattern_);
        addBatchOptions(*command, batch_);
        command->add_option("-f,--format", formatName_,
                            "Saver name, any case (see 'pictra formats'); default WINDOWS for .ico and "
                            "MACOS for .icns; an Amiga .info icon needs it")
            ->type_name("NAME");
        command->add_flag("-c,--compress", compress_, "Compress pictures where the format allows it");
        command->add_option("--sizes", sizes_, "Sizes to make instead of the format's own (one for Amiga icons)")
            ->delimiter(',')
            ->check(CLI::Range(1u, host::kMaxResampleSide))
            ->type_name("16,32,...");
        command->add_option("--selected", selectedPath_, "Amiga icons: artwork of the selected picture")
            ->type_name("ART");
        command->add_option("--type", typeText_, "Amiga icons: disk, drawer, tool, project (default), garbage, "
                                                 "device, kick, appicon, or a number")
            ->type_name("NAME|N");
        command->add_option("--default-tool", defaultTool_, "Amiga icons: the program that opens the project")
            ->type_name("TEXT");
        command->add_option("--tool-type", toolTypes_, "Amiga icons: a tool type; repeat for more")
            ->type_name("TEXT");
        command->add_option("--stack", stack_, "Amiga icons: stack size (default 4096)")->type_name("N");
        command->footer(
            "Sizes made by default:\n"
            "  WINDOWS  16, 24, 32, 48, 64, 128, 256 (256 stored as PNG with --compress)\n"
            "  MACOS    16, 32, 48, 128 (packed with their masks), 64, 256, 512, 1024 (as PNG)\n"
            "  Amiga    one picture at the artwork's size, scaled down to the format's limit\n"
            "           (256; NEWICON 93); the palette pictures of AMIGAOS, NEWICON and AMIGAOS35\n"
            "           are made from it by the host's colour reduction\n"
            "Each size is made from the artwork closest above it: a PNG of exactly that size is\n"
            "taken as it is, an SVG document is drawn at that size, a larger PNG is scaled down\n"
            "(in linear light, with premultiplied alpha); with no larger artwork the largest is\n"
            "scaled up. Artwork that is not square is centred on a transparent square.");
        return command;
    }

    void check() override {
        if (!folder_.empty()) {
            if (formatName_.empty()) throw CLI::ValidationError("--format NAME is required with --output");
            checkNamePattern(pattern_);
        } else {
            if (batch_.recursive) throw CLI::ValidationError("--recursive needs --output DIR");
            if (batch_.inputs.size() < 2) throw CLI::ValidationError("give OUT ART..., or -o DIR ART... -f NAME");
            output_ = batch_.inputs.front();
            artPaths_.assign(batch_.inputs.begin() + 1, batch_.inputs.end());
        }
        checkTarget();
    }

    void checkTarget() {
        std::error_code ignored;
        if (folder_.empty() && (output_.ends_with('/') || std::filesystem::is_directory(output_, ignored)))
            throw FileError(output_, "is a folder; OUT must name the file to write");
        const std::string name = upper(saverNameFor(formatName_, output_));
        if (name.empty())
            throw CLI::ValidationError("cannot tell the format from '" + output_ +
                                       "'; give --format NAME (an Amiga icon: AMIGAOS, NEWICON, AMIGAOS35, "
                                       "AMIGAOS40 or PNG)");
        target_ = host::iconTarget(name);
        if (!target_) return;  // the saver's name is checked against the module's
        try {
            type_ = typeText_.empty() ? kProjectType : parseIconType(typeText_);
            defaultToolText_ = iconText(defaultTool_, false);
            toolTypeTexts_.clear();
            for (const std::string& text : toolTypes_) toolTypeTexts_.push_back(iconText(text, true));
        } catch (const std::invalid_argument& error) {
            throw CLI::ValidationError(error.what());
        }
        const bool amiga = target_->sizes.empty();
        if (!amiga && (!selectedPath_.empty() || !typeText_.empty() || !defaultTool_.empty() || !toolTypes_.empty() ||
                       stack_ != kDefaultStack))
            throw CLI::ValidationError("--selected, --type, --default-tool, --tool-type and --stack are for Amiga "
                                       "icons, not " + name);
        if (amiga && sizes_.size() > 1)
            throw CLI::ValidationError("an Amiga icon has one picture size; give one --sizes value");
        for (const uint32_t size : sizes_) {
            if (target_->maxSide && size > target_->maxSide)
                throw CLI::ValidationError(
                    fmt::format("--sizes: {} holds pictures up to {} × {}", name, target_->maxSide, target_->maxSide));
            if (target_->onlySizes && std::find(target_->sizes.begin(), target_->sizes.end(), size) == target_->sizes.end())
                throw CLI::ValidationError(fmt::format("--sizes: {} holds no {} × {} pictures", name, size, size));
        }
    }

    int run(const Session& session) override {
        const std::string name = upper(saverNameFor(formatName_, output_));
        const host::Saver* saver = findSaver(session.savers(), name);
        if (!saver || !target_) throw UsageError{fmt::format("'{}' is no format create can make", name)};
        if (folder_.empty())
            return forEachFile({output_}, [&](const std::string&) { create(session, *saver, artPaths_, output_); });
        // One icon per artwork file.
        const std::string extension = saverExtension(session.savers(), *saver);
        Batch batch(batch_);
        batch.setOutputs(
            [&](const BatchItem& item) { return outputPath(folder_, pattern_, item, extension, saver->name); },
            "its icon would overwrite that of ");
        return batch.run(session, [&](const Session& own, const BatchItem& item) {
            std::error_code ignored;
            std::filesystem::create_directories(std::filesystem::path(item.output).parent_path(), ignored);
            create(own, *saver, {item.path}, item.output);
            return BatchOutput{};
        });
    }

private:
    void create(const Session& session, const host::Saver& saver, const std::vector<std::string>& artPaths,
                const std::string& output) const {
        std::vector<Artwork> art;
        for (const std::string& path : artPaths) art.push_back(Artwork::load(path));
        PictureList pictures;
        if (target_->sizes.empty())
            addAmigaPictures(art, pictures);
        else
            for (const uint32_t side : sizes_.empty() ? std::vector(target_->sizes.begin(), target_->sizes.end()) : sizes_)
                pictures.addOwned(squarePicture(art, side), 0);

        // The module takes writable texts; each icon (each worker) has its own.
        std::vector<std::string> texts = toolTypeTexts_;
        std::vector<char*> toolTypes;
        for (std::string& text : texts) toolTypes.push_back(text.data());
        toolTypes.push_back(nullptr);
        IconAttributes attributes{};
        attributes.type = type_;
        attributes.currentX = attributes.currentY = kNoIconPosition;
        attributes.stackSize = stack_;
        attributes.defaultTool = defaultToolText_.empty() ? nullptr : defaultToolText_.c_str();
        attributes.toolTypes = toolTypeTexts_.empty() ? nullptr : toolTypes.data();
        if (opensWindow(type_)) {
            attributes.drawerLeft = kWindow[0];
            attributes.drawerTop = kWindow[1];
            attributes.drawerWidth = kWindow[2];
            attributes.drawerHeight = kWindow[3];
        }
        IconImage* images = pictures.images();
        if (!saveIconFile(session, saver, images, attributes, compress_, output)) {
            const std::string reason = refusalReason(images, *target_);
            throw FileError(output, reason.empty() ? "the module could not save this icon as " + saver.name : reason);
        }
    }

    // PNG pictures of the artwork, for the host's choice among them.
    static std::vector<host::Picture> pngPictures(const std::vector<Artwork>& art) {
        std::vector<host::Picture> pictures;
        for (const Artwork& each : art)
            if (each.picture()) pictures.push_back(*each.picture());
        return pictures;
    }

    static const Artwork* firstDocument(const std::vector<Artwork>& art) {
        for (const Artwork& each : art)
            if (!each.picture()) return &each;
        return nullptr;
    }

    // A PNG of exactly that size; else a document drawn at it; else the
    // closest larger PNG scaled.
    static host::Picture squarePicture(const std::vector<Artwork>& art, uint32_t side) {
        const std::vector<host::Picture> pngs = pngPictures(art);
        const bool exact = std::any_of(pngs.begin(), pngs.end(), [&](const host::Picture& p) {
            return p.width == side && p.height == side;
        });
        if (const Artwork* document = firstDocument(art); document && !exact) return document->render(side, side);
        auto picture = host::squareFromArt(pngs, side);
        if (!picture) throw FileError(art.front().path(), fmt::format("cannot be scaled to {} × {}", side, side));
        return std::move(*picture);
    }

    // The Amiga picture's longer side: --sizes, else the largest artwork's,
    // within the format's limit (a document of no size of its own: the limit).
    uint32_t amigaSide(const std::vector<Artwork>& art) const {
        if (!sizes_.empty()) return sizes_.front();
        uint32_t longest = 0;
        for (const Artwork& each : art)
            if (const auto size = each.naturalSize()) longest = std::max({longest, size->first, size->second});
        const uint32_t limit = target_->maxSide ? target_->maxSide : host::kMaxResampleSide;
        return longest == 0 ? std::min<uint32_t>(limit, 256) : std::min(longest, limit);
    }

    // One picture with the proportions of its artwork, longer side `side`.
    static host::Picture withinSide(const std::vector<Artwork>& art, uint32_t side) {
        const std::vector<host::Picture> pngs = pngPictures(art);
        const bool exact = std::any_of(pngs.begin(), pngs.end(), [&](const host::Picture& p) {
            return std::max(p.width, p.height) == side;
        });
        if (const Artwork* document = firstDocument(art); document && !exact) {
            const auto natural = document->naturalSize().value_or(std::pair(side, side));
            const auto [width, height] = host::sizeWithin(natural.first, natural.second, side);
            return document->render(width, height);
        }
        auto picture = host::withinFromArt(pngs, side);
        if (!picture) throw FileError(art.front().path(), fmt::format("cannot be scaled to {} pixels", side));
        return std::move(*picture);
    }

    void addAmigaPictures(const std::vector<Artwork>& art, PictureList& pictures) const {
        const uint32_t side = amigaSide(art);
        host::Picture normal = withinSide(art, side);
        const uint32_t width = normal.width, height = normal.height;
        pictures.addOwned(std::move(normal), 0);
        if (selectedPath_.empty()) return;
        std::vector<Artwork> selected;
        selected.push_back(Artwork::load(selectedPath_));
        host::Picture picture = withinSide(selected, side);
        if (picture.width != width || picture.height != height)
            picture = host::centreOnCanvas(picture, width, height);
        pictures.addOwned(std::move(picture), IconImageSelected);
    }

    BatchOptions batch_;
    std::string folder_;
    std::string pattern_ = "{stem}.{ext}";
    std::string output_;                 // the single form's OUT
    std::vector<std::string> artPaths_;  // and its artwork
    std::string formatName_;
    bool compress_ = false;
    std::vector<uint32_t> sizes_;
    std::string selectedPath_;
    std::string typeText_;
    std::string defaultTool_;
    std::vector<std::string> toolTypes_;
    std::string defaultToolText_;              // as the icon stores it (ISO-8859-1)
    std::vector<std::string> toolTypeTexts_;  // likewise
    int32_t stack_ = kDefaultStack;
    int32_t type_ = kProjectType;
    const host::IconTarget* target_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> makeCreateCommand() { return std::make_unique<CreateCommand>(); }

}  // namespace pictra::cli
