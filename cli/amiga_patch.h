// Editing the attributes of an Amiga icon file by rewriting only the parts
// of its classic layout that hold them, which every Amiga icon but a PNG
// icon shares: the DiskObject header, the drawer window, the default tool,
// the tool types and the drawer extension. Every other byte is copied as it
// stands: the planar pictures, the tool window, a FORM ICON after the
// classic part, bytes the system does not know. NewIcons picture lines (and
// the marker pair before them) stay among the tool types, after the edited
// ones, byte for byte.
//
// The file is walked as the module's reader walks it; every length in it is
// held against the bytes that remain, and a file that cannot be walked to
// the end of its texts is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "amiga_edit.h"

namespace pictra::cli {

// The file `bytes` with its attributes made `wanted`, or nothing with the
// reason in `problem` (one line) when the file is not a classic-layout Amiga
// icon the walk can follow or `wanted` does not fit its fields. Attributes
// already as wanted keep their bytes. The drawer window is dropped when the
// icon's type changes to one without a window and `wanted` holds none, and
// added when `wanted` holds one the file lacks.
std::optional<std::vector<uint8_t>> patchAmigaAttributes(std::span<const uint8_t> bytes,
                                                          const AmigaAttributes& wanted, std::string& problem);

}  // namespace pictra::cli
