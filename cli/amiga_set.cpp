#include "amiga_set.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>

#include "errors.h"
#include "formats.h"
#include "host/posix_file.h"
#include "icon_file.h"
#include "own_format.h"
#include "safe_save.h"

namespace pictra::cli {

namespace {

// Larger than any icon; the module reads the whole file too.
constexpr off_t kMaxIconBytes = off_t{1} << 28;

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

// Reads the saved temporary back: the same kind of file, the same pictures
// and exactly the attributes asked for, or a FileError saying what differs.
void checkSaved(const Session& session, const std::string& saverName, const LoadedIcon& original,
                const AmigaAttributes& wanted, const std::string& tempPath,
                const std::string& path) {
    const auto fail = [&](const std::string& what) {
        throw FileError(path, fmt::format("left unchanged: saving it as {} would {}", saverName, what));
    };
    LoadedIcon saved;
    try {
        saved = loadIconFile(session, tempPath);
    } catch (const FileError& error) {
        fail(fmt::format("make a file that does not read back ({})", error.what()));
    }
    const std::string kept = ownSaverName(saved.format, *saved.record, fileBytes(tempPath));
    if (kept != saverName) fail("make it a " + kept + " icon");
    const auto pictures = pictureDifference(session.entry().getIconImages(original.record.get()),
                                            session.entry().getIconImages(saved.record.get()));
    if (pictures) fail(*pictures);
    const std::vector<std::string> lost = describeChanges(wanted, copyAttributes(path, saved.attributes));
    if (!lost.empty()) fail("change " + joined(lost));
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

    PendingFile file(replacedPath(path, dryRun));
    std::vector<char*> pointers;
    if (!saveIconInto(session, *saver, session.entry().getIconImages(icon.record.get()),
                      attributeRecord(after, pointers), false, file, path))
        throw FileError(path, "the module could not save this icon as " + saver->name);
    checkSaved(session, report.saver, icon, after, file.tempPath(), path);
    if (!dryRun) file.commit();
    return report;
}

}  // namespace pictra::cli
