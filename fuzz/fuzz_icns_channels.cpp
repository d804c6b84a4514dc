// Fuzz target: the channel packing of macOS icons, compiled straight in.
// The first input byte picks one of the four packed sizes (bits 0-1) and
// the four-channel "ARGB" form (bit 2); the rest is the packed data.
// Unpacking must stay inside the pixels, and packing what came out of three
// channels and unpacking it again must give the same pixels.
// fuzz-module-sources: macos/icns_channels.cpp
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "macos/icns_channels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const uint32_t kSides[] = {16, 32, 48, 128};
    if (size == 0) return 0;
    const uint32_t side = kSides[data[0] % 4];
    const uint32_t count = side * side;
    const auto length = static_cast<uint32_t>(size - 1);
    std::vector<uint32_t> pixels(count);
    if (data[0] & 4) {
        std::vector<uint8_t> planes(4 * count);
        UnpackIcnsArgbChannels(data + 1, length, planes.data(), pixels.data(), count);
        return 0;
    }
    std::vector<uint8_t> planes(3 * count);
    UnpackIcnsChannels(data + 1, length, planes.data(), pixels.data(), count);

    std::vector<uint8_t> packed(PackedChannelsBound(count));
    const uint32_t produced = PackIcnsChannels(pixels.data(), count, packed.data(), static_cast<uint32_t>(packed.size()));
    if (produced == 0) __builtin_trap();
    std::vector<uint32_t> again(count);
    UnpackIcnsChannels(packed.data(), produced, planes.data(), again.data(), count);
    if (again != pixels) {
        std::fprintf(stderr, "fuzz: packed channels do not come back\n");
        __builtin_trap();
    }
    return 0;
}
