#include "icon_file.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/core.h>

#include "errors.h"
#include "host/budgets.h"
#include "host/posix_file.h"
#include "host/streams.h"
#include "safe_save.h"

namespace pictra::cli {

namespace {

constexpr std::size_t kPngSignatureSize = 8;
constexpr std::size_t kChunkHeaderSize = 8;  // length and type
constexpr off_t kChunkCrcSize = 4;

struct Signature {
    std::array<uint8_t, kHeaderSize> bytes;
    std::string_view format;
};

// The Amiga formats share one header; the module does not say which of them
// a file was written as, so it is named by the first.
constexpr std::array<Signature, 4> kSignatures{{
    {{'i', 'c', 'n', 's'}, "MACOS"},
    {{0x89, 'P', 'N', 'G'}, "PNG"},
    {{0xE3, 0x10, 0x00, 0x01}, "AMIGAOS"},
    {{0x00, 0x00, 0x01, 0x00}, "WINDOWS"},
}};

// What a file with the header of `format` says it is.
std::string claimedKind(std::string_view format) {
    if (format == "MACOS") return "a macOS icon";
    if (format == "WINDOWS") return "a Windows icon";
    if (format == "PNG") return "a PNG file";
    return "an Amiga icon";
}

std::string fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO or pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

}  // namespace

std::optional<std::string_view> iconFormat(std::span<const uint8_t> header) {
    if (header.size() < kHeaderSize) return std::nullopt;
    for (const Signature& signature : kSignatures)
        if (std::equal(signature.bytes.begin(), signature.bytes.end(), header.begin()))
            return signature.format;
    return std::nullopt;
}

bool holdsAmigaAttributes(std::string_view format) { return format == "AMIGAOS" || format == "PNG"; }

std::string headerHex(std::span<const uint8_t> header) {
    std::string out;
    for (uint8_t byte : header) {
        if (!out.empty()) out += ' ';
        out += fmt::format("{:02x}", byte);
    }
    return out;
}

std::string_view checkIconFile(const std::string& path) {
    // Opening a FIFO would wait for a writer, and a device or a pipe is no
    // icon file: only regular files are read.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throw FileError(path, "cannot open: " + systemMessage(errno));
    if (!S_ISREG(status.st_mode)) throw FileError(path, "not a regular file (" + fileKind(status.st_mode) + ")");
    host::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) throw FileError(path, "cannot open: " + systemMessage(errno));
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw FileError(path, "not a regular file");
    std::array<uint8_t, kHeaderSize> header{};
    const ssize_t got = host::readFully(file.get(), header);
    if (got < 0) throw FileError(path, "cannot read: " + systemMessage(errno));
    const auto present = std::span<const uint8_t>(header).first(static_cast<std::size_t>(got));
    if (present.size() < kHeaderSize)
        throw NotAnIconError(path, fmt::format("not an icon file (only {} bytes)", present.size()));
    const auto format = iconFormat(present);
    if (!format)
        throw NotAnIconError(path, "not an icon file (unknown header " + headerHex(present) + ")");
    return *format;
}

LoadedIcon loadIconFile(const Session& session, const std::string& path) {
    LoadedIcon icon;
    icon.format = std::string(checkIconFile(path));
    const host::EntryPoints& entry = session.entry();
    const auto [maxPictures, maxPictureBytes] = host::loadBudgetTags();
    const TagItem tags[] = {
        {LoadTagAttributes, reinterpret_cast<uintptr_t>(&icon.attributes)},
        maxPictures,
        maxPictureBytes,
        {TagEnd, 0},
    };
    icon.record = host::IconPtr(entry.loadIcon(path.c_str(), tags), {entry.freeIcon});
    if (!icon.record) throw FileError(path, claimedKind(icon.format) + " the module could not read: damaged or unsupported");
    icon.amigaAttributes = icon.format == "PNG" ? hasIconChunk(path) : holdsAmigaAttributes(icon.format);
    return icon;
}

bool hasIconChunk(const std::string& path) {
    host::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::array<uint8_t, kPngSignatureSize> signature{};
    if (file.get() < 0 || host::readFully(file.get(), signature) != ssize_t(signature.size())) return false;
    // Each step moves at least one chunk header forward, so the walk ends
    // with the file.
    for (std::array<uint8_t, kChunkHeaderSize> header{};
         host::readFully(file.get(), header) == ssize_t(header.size());) {
        const std::string_view type(reinterpret_cast<const char*>(header.data()) + 4, 4);
        if (type == "icOn") return true;
        if (type == "IEND") return false;
        const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 | uint32_t(header[2]) << 8 | header[3];
        if (::lseek(file.get(), off_t(length) + kChunkCrcSize, SEEK_CUR) < 0) return false;
    }
    return false;
}

bool saveIconInto(const Session& session, const host::Saver& saver, IconImage* images,
                  const IconAttributes& attributes, bool compress, const PendingFile& target,
                  const std::string& path) {
    const TagItem tags[] = {
        {SaveTagFormat, saver.formatId},
        {SaveTagCompress, compress ? 1u : 0u},
        {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
        {TagEnd, 0},
    };
    const std::size_t lostBefore = host::failedWritesOnThisThread();
    const std::size_t overBefore = host::overBudgetFilesOnThisThread();
    const int32_t saved = session.entry().saveIcon(target.writePath().c_str(), images, tags);
    // The module cannot see refused writes (a file past the save budget, a
    // full disk): the host counts them.
    if (host::overBudgetFilesOnThisThread() != overBefore)
        throw FileError(path, fmt::format("not saved: the file would be larger than the save budget of {} bytes",
                                          host::budgets().bytesPerSave));
    if (saved == 0) return false;
    if (host::failedWritesOnThisThread() != lostBefore)
        throw FileError(path, "cannot write: the file could not be stored in full");
    return true;
}

bool saveIconFile(const Session& session, const host::Saver& saver, IconImage* images,
                  const IconAttributes& attributes, bool compress, const std::string& path) {
    PendingFile target(path);
    if (!saveIconInto(session, saver, images, attributes, compress, target, path)) return false;
    target.commit();
    return true;
}

}  // namespace pictra::cli
