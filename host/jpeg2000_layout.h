// What a JPEG 2000 file declares about its size, read from the bytes before
// any decoder sees them: OpenJPEG allocates per tile and per component while
// it reads the header, so the caps must be met first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pictra::host {

struct Jpeg2000Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t components = 0;  // in the codestream
    uint64_t tiles = 0;
    // Channels a JP2 palette makes (its cmap entries), 0 without a palette.
    // The decoder builds them beside the codestream's components.
    uint32_t paletteChannels = 0;
};

// Reads the image and tile sizes (SIZ) of a raw codestream or of the first
// codestream of a JP2 file, and a JP2 palette's channel count. Nothing, with
// a reason, when the boxes or the SIZ segment are cut short or inconsistent.
std::optional<Jpeg2000Layout> readJpeg2000Layout(std::span<const uint8_t> bytes, bool codestream,
                                                 std::string* error);

}  // namespace pictra::host
