// Reading an icon file through the module, with the tool's own checks first:
// the module reports only a null result, so whether the file can be read and
// whether its header is one the module knows is found out here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "host/module_loader.h"
#include "pictra/plugin.h"
#include "session.h"

namespace pictra::cli {

class PendingFile;

inline constexpr std::size_t kHeaderSize = 4;

// No icon format holds more pictures or tool types than this; a longer list
// can only be a damaged one, and every walk over it must end.
inline constexpr std::size_t kMaxListLength = 1 << 16;

// The format of a file from its first four bytes, by the names the savers
// have: "MACOS", "PNG", "AMIGAOS" (any of the Amiga formats) or "WINDOWS";
// nothing for any other header or fewer bytes.
std::optional<std::string_view> iconFormat(std::span<const uint8_t> header);

// True for the formats whose icons carry the Amiga attributes (type,
// positions, drawer, stack, default tool, tool types).
bool holdsAmigaAttributes(std::string_view format);

// "00 00 02 00": the bytes as hex pairs.
std::string headerHex(std::span<const uint8_t> header);

// Opens `path`, reads its header and returns the format; throws FileError
// naming the file when it is not a regular file, cannot be read or is not
// an icon.
std::string_view checkIconFile(const std::string& path);

struct LoadedIcon {
    host::IconPtr record;
    IconAttributes attributes{};  // texts point into `record`
    std::string format;  // as iconFormat() names it
    // The file carries Amiga attributes: an Amiga icon, or a PNG file with
    // an "icOn" chunk (a plain PNG file has none).
    bool amigaAttributes = false;
};

// True when the PNG file `path` has an "icOn" chunk before its end.
bool hasIconChunk(const std::string& path);

// Loads `path` with its attributes; throws FileError on failure.
LoadedIcon loadIconFile(const Session& session, const std::string& path);

// Saves `images` with `attributes` as `saver`'s format to `path` through a
// temporary file. False when the module refuses the save; throws FileError
// naming `path` when the file cannot be written.
bool saveIconFile(const Session& session, const host::Saver& saver, IconImage* images,
                  const IconAttributes& attributes, bool compress, const std::string& path);

// The same into the temporary `target` of `path`, left for the caller to
// check and commit.
bool saveIconInto(const Session& session, const host::Saver& saver, IconImage* images,
                  const IconAttributes& attributes, bool compress, const PendingFile& target,
                  const std::string& path);

}  // namespace pictra::cli
