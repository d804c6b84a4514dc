#include "host/icon_art.h"

#include <algorithm>
#include <array>

#include "host/resample.h"

namespace pictra::host {

namespace {

// Every size from 16 to 256 that Windows shows; 256 is the largest an
// icon's directory can state.
constexpr std::array<uint32_t, 7> kWindowsSizes = {16, 24, 32, 48, 64, 128, 256};
// The sizes of the ICNS type table that the writer stores.
constexpr std::array<uint32_t, 8> kMacSizes = {16, 32, 48, 64, 128, 256, 512, 1024};

constexpr std::array<IconTarget, 7> kTargets = {{
    {"WINDOWS", kWindowsSizes, 256, false, false},
    {"MACOS", kMacSizes, 1024, true, false},
    // Classic and colour Amiga pictures store each side in a byte; NewIcons
    // pictures are at most 93 pixels a side.
    {"AMIGAOS", {}, 256, false, false},
    {"NEWICON", {}, 93, false, false},
    {"AMIGAOS35", {}, 256, false, false},
    {"AMIGAOS40", {}, 256, false, true},
    {"PNG", {}, 0, false, true},
}};

uint32_t longerSide(const Picture& picture) { return std::max(picture.width, picture.height); }

}  // namespace

const IconTarget* iconTarget(std::string_view saver) {
    for (const IconTarget& target : kTargets)
        if (target.saver == saver) return &target;
    return nullptr;
}

const Picture* artForSide(std::span<const Picture> art, uint32_t side) {
    const Picture* above = nullptr;
    const Picture* largest = nullptr;
    for (const Picture& picture : art) {
        const uint32_t length = longerSide(picture);
        if (length == side) return &picture;
        if (length > side && (!above || length < longerSide(*above))) above = &picture;
        if (!largest || length > longerSide(*largest)) largest = &picture;
    }
    return above ? above : largest;
}

std::optional<Picture> squareFromArt(std::span<const Picture> art, uint32_t side) {
    for (const Picture& picture : art)
        if (picture.width == side && picture.height == side) return picture;
    const Picture* source = artForSide(art, side);
    if (!source) return std::nullopt;
    return fitToSquare(*source, side);
}

std::optional<Picture> withinFromArt(std::span<const Picture> art, uint32_t side) {
    const Picture* source = artForSide(art, side);
    if (!source) return std::nullopt;
    return scaleToSide(*source, side);
}

}  // namespace pictra::host
