#include "icon_file.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <fmt/core.h>

#include "errors.h"
#include "host/posix_file.h"

namespace pictra::cli {

namespace {

struct Signature {
    std::array<uint8_t, kHeaderSize> bytes;
    std::string_view family;
};

constexpr std::array<Signature, 4> kSignatures{{
    {{'i', 'c', 'n', 's'}, "macos"},
    {{0x89, 'P', 'N', 'G'}, "png"},
    {{0xE3, 0x10, 0x00, 0x01}, "amiga"},
    {{0x00, 0x00, 0x01, 0x00}, "windows"},
}};

}  // namespace

std::optional<std::string_view> iconFamily(std::span<const uint8_t> header) {
    if (header.size() < kHeaderSize) return std::nullopt;
    for (const Signature& signature : kSignatures)
        if (std::equal(signature.bytes.begin(), signature.bytes.end(), header.begin()))
            return signature.family;
    return std::nullopt;
}

std::string headerHex(std::span<const uint8_t> header) {
    std::string out;
    for (uint8_t byte : header) {
        if (!out.empty()) out += ' ';
        out += fmt::format("{:02x}", byte);
    }
    return out;
}

std::string_view checkIconFile(const std::string& path) {
    host::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throw FileError(path, "cannot open: " + systemMessage(errno));
    std::array<uint8_t, kHeaderSize> header{};
    const ssize_t got = host::readFully(file.get(), header);
    if (got < 0) throw FileError(path, "cannot read: " + systemMessage(errno));
    const auto present = std::span<const uint8_t>(header).first(static_cast<std::size_t>(got));
    if (present.size() < kHeaderSize)
        throw FileError(path, fmt::format("not an icon file (only {} bytes)", present.size()));
    const auto family = iconFamily(present);
    if (!family)
        throw FileError(path, "not an icon file (unknown header " + headerHex(present) + ")");
    return *family;
}

LoadedIcon loadIconFile(const Session& session, const std::string& path) {
    LoadedIcon icon;
    icon.family = std::string(checkIconFile(path));
    const host::EntryPoints& entry = session.entry();
    const TagItem tags[] = {
        {LoadTagAttributes, reinterpret_cast<uintptr_t>(&icon.attributes)},
        {TagEnd, 0},
    };
    icon.record = host::IconPtr(entry.loadIcon(path.c_str(), tags), {entry.freeIcon});
    if (!icon.record) throw FileError(path, "the module could not read this icon");
    return icon;
}

}  // namespace pictra::cli
