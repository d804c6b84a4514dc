#include "amiga_set.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>

#include "amiga_patch.h"
#include "errors.h"
#include "formats.h"
#include "host/posix_file.h"
#include "host/streams.h"
#include "icon_file.h"
#include "own_format.h"
#include "png_icon_patch.h"
#include "safe_save.h"

namespace pictra::cli {

namespace {

// Larger than any icon; the module reads the whole file too.
constexpr off_t kMaxIconBytes = off_t{1} << 28;
// A stream takes at most 2^31 - 1 bytes a write.
constexpr std::size_t kWriteChunk = std::size_t{1} << 30;

std::vector<uint8_t> fileBytes(const std::string& path) {
    host::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0)
        throw FileError(path, "cannot read: " + systemMessage(errno));
    if (status.st_size > kMaxIconBytes) throw FileError(path, "too large for an icon");
    std::vector<uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    const ssize_t got = host::readFully(file.get(), bytes);
    if (got < 0) throw FileError(path, "cannot read: " + systemMessage(errno));
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "; ") + line;
    return out;
}

// Where the saved icon goes: the file a link names, so the link stays.
std::string replacedPath(const std::string& path, bool dryRun) {
    if (dryRun)
        return (std::filesystem::temp_directory_path() / std::filesystem::path(path).filename()).string();
    std::error_code error;
    const auto real = std::filesystem::canonical(path, error);
    if (error) throw FileError(path, "cannot find the file: " + error.message());
    return real.string();
}

// What a saved icon is held against: the icon as loaded and the
// attributes asked for.
struct SaveCheck {
    const Session& session;
    const std::string& saver;
    const LoadedIcon& original;
    const AmigaAttributes& wanted;
    const std::string& path;
};

// Reads the saved temporary back: the same kind of file, the same pictures
// and exactly the attributes asked for; else what the save would do.
std::optional<std::string> savedDifference(const SaveCheck& check, const std::string& tempPath) {
    LoadedIcon saved;
    try {
        saved = loadIconFile(check.session, tempPath);
    } catch (const FileError& error) {
        return fmt::format("make a file that does not read back ({})", error.what());
    }
    const std::string kept = ownSaverName(saved.format, *saved.record, fileBytes(tempPath));
    if (kept != check.saver) return "make it a " + kept + " icon";
    if (auto pictures = pictureDifference(check.session.entry().getIconImages(check.original.record.get()),
                                          check.session.entry().getIconImages(saved.record.get())))
        return pictures;
    AmigaAttributes read = copyAttributes(check.path, saved.attributes);
    if (sameViewMode(read.drawerViewMode, check.wanted.drawerViewMode)) read.drawerViewMode = check.wanted.drawerViewMode;
    const std::vector<std::string> lost = describeChanges(check.wanted, read);
    if (!lost.empty()) return "change " + joined(lost);
    return std::nullopt;
}

// Puts a saved temporary in place of the icon (not on a dry run) when it
// reads back right; else returns what it would do.
std::optional<std::string> placeChecked(const SaveCheck& check, PendingFile& file, bool dryRun) {
    std::optional<std::string> difference = savedDifference(check, file.tempPath());
    if (!difference && !dryRun) file.commit();
    return difference;
}

// Writes `bytes` to the temporary as the module's savers write: through a
// host stream, whose lost writes (a full disk) the host counts.
void writeThroughHost(const std::string& tempPath, std::span<const uint8_t> bytes, const std::string& path) {
    const std::size_t lostBefore = host::failedWritesOnThisThread();
    const StreamHandle stream = host::openStream(tempPath.c_str(), StreamModeNewFile);
    if (!stream) throw FileError(path, "cannot write: " + systemMessage(errno));
    for (std::size_t at = 0; at < bytes.size(); at += kWriteChunk) {
        const auto length = static_cast<int32_t>(std::min(kWriteChunk, bytes.size() - at));
        host::writeStream(stream, bytes.data() + at, length);
    }
    host::closeStream(stream);
    if (host::failedWritesOnThisThread() != lostBefore)
        throw FileError(path, "cannot write: the file could not be stored in full");
}

// The icon with only its attribute parts rewritten (amiga_patch.h,
// png_icon_patch.h), put in place when it reads back right. Nothing when it
// was; else what it would do, or an empty text when the file cannot be
// patched.
std::optional<std::string> placePatched(const SaveCheck& check, std::span<const uint8_t> bytes,
                                        const AmigaAttributes& before, const std::string& target, bool dryRun) {
    std::string problem;
    const auto patched = check.saver == "PNG" ? patchPngIconAttributes(bytes, before, check.wanted, problem)
                                              : patchAmigaAttributes(bytes, check.wanted, problem);
    if (!patched) return "";
    PendingFile file(target);
    writeThroughHost(file.tempPath(), *patched, check.path);
    return placeChecked(check, file, dryRun);
}

}  // namespace

void checkAmigaIcon(const std::string& path) {
    const std::string_view format = checkIconFile(path);
    if (!holdsAmigaAttributes(format))
        throw NotAnIconError(path,
                             fmt::format("not an Amiga icon (a {} icon); set shows and edits Amiga icons only", format));
}

SetReport setIconAttributes(const Session& session, const std::string& path, const AttributeEdit& edit,
                            bool dryRun) {
    checkAmigaIcon(path);
    const std::vector<uint8_t> bytes = fileBytes(path);
    const LoadedIcon icon = loadIconFile(session, path);
    SetReport report;
    report.saver = ownSaverName(icon.format, *icon.record, bytes);
    const host::Saver* saver = findSaver(session.savers(), report.saver);
    if (!saver) throw FileError(path, "the module offers no " + report.saver + " saver");
    const AmigaAttributes before = copyAttributes(path, icon.attributes);
    if (const auto problem = editProblem(before, edit)) throw FileError(path, *problem);
    const AmigaAttributes after = applyEdit(before, edit);
    report.changes = describeChanges(before, after);
    if (report.changes.empty() && !dryRun) return report;

    const std::string target = replacedPath(path, dryRun);
    const SaveCheck check{session, report.saver, icon, after, path};
    // Rewriting only the attribute parts keeps every other byte; the
    // module's saver, which writes the whole file anew, is the way for a
    // file that cannot be patched.
    const auto patched = placePatched(check, bytes, before, target, dryRun);
    report.patched = !patched;
    if (report.patched) return report;
    std::string refusal = *patched;
    PendingFile file(target);
    std::vector<char*> pointers;
    if (saveIconInto(session, *saver, session.entry().getIconImages(icon.record.get()),
                     attributeRecord(after, pointers), false, file, path)) {
        const auto difference = placeChecked(check, file, dryRun);
        if (!difference) return report;
        if (refusal.empty()) refusal = *difference;
    } else if (refusal.empty()) {
        throw FileError(path, "the module could not save this icon as " + saver->name);
    }
    throw FileError(path, fmt::format("left unchanged: saving it as {} would {}", report.saver, refusal));
}

}  // namespace pictra::cli
