// The formats the module saves, as `pictra formats` lists them, and the
// choice of a saver for `pictra convert`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/registry.h"

namespace pictra::cli {

struct FormatRow {
    std::string name;
    std::string description;  // empty when the host has no registration for it
    std::string extension;
    uint32_t formatId = 0;
};

// The savers in enumeration order, with description and extension from the
// host's registry matched by FormatId.
std::vector<FormatRow> formatRows(const std::vector<host::Saver>& savers,
                                  const std::vector<host::RegisteredFormat>& registered);

// Eight lower-case hex digits.
std::string formatIdHex(uint32_t formatId);

// A table with a heading line; one format per line.
std::string formatsText(const std::vector<FormatRow>& rows);
// One JSON object per format, one per line.
std::string formatsJson(const std::vector<FormatRow>& rows);

// The saver name to write `outPath` with: `requested` when given, else
// WINDOWS for a .ico and MACOS for a .icns name (any case); empty when
// neither says.
std::string saverNameFor(const std::string& requested, const std::string& outPath);

// The extension the host registered for `saver`'s format, else "icon".
std::string saverExtension(const std::vector<host::Saver>& savers, const host::Saver& saver);

// The saver called `name`, compared without regard to case; null if none.
const host::Saver* findSaver(const std::vector<host::Saver>& savers, const std::string& name);

}  // namespace pictra::cli
