// Editing the attributes of a PNG icon in place: its "icOn" chunk is
// written anew with the attributes wanted, every tag item the edit does not
// touch kept as it stands and the chunk's CRC made anew; the pictures and
// every other chunk keep their bytes. The chunks are walked as the module's
// reader walks them, every length held against what remains.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "amiga_edit.h"

namespace pictra::cli {

// The PNG icon `bytes`, which the module reads as `before`, with the
// attributes `wanted`; or nothing, with the reason in `problem` (one line),
// when its first PNG does not hold exactly one "icOn" chunk that can be
// walked.
std::optional<std::vector<uint8_t>> patchPngIconAttributes(std::span<const uint8_t> bytes,
                                                            const AmigaAttributes& before,
                                                            const AmigaAttributes& wanted, std::string& problem);

}  // namespace pictra::cli
