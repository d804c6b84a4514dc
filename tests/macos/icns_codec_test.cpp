// The channel packing of macOS icons both ways, compiled straight in. Round
// trips of any pictures within the packing bound are the fuzz target's
// (fuzz_icns_channels).
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "macos/icns_channels.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Pixels whose three channels all hold `values`.
std::vector<uint32_t> grey(const Bytes& values) {
    std::vector<uint32_t> pixels;
    for (uint8_t v : values) pixels.push_back(0xFF000000u | v << 16 | v << 8 | v);
    return pixels;
}

Bytes pack(const std::vector<uint32_t>& pixels) {
    Bytes out(PackedChannelsBound(static_cast<uint32_t>(pixels.size())));
    const uint32_t length = PackIcnsChannels(pixels.data(), static_cast<uint32_t>(pixels.size()), out.data(),
                                             static_cast<uint32_t>(out.size()));
    out.resize(length);
    return out;
}

std::vector<uint32_t> unpack(const Bytes& data, std::size_t count) {
    std::vector<uint32_t> pixels(count, 0x12345678u);
    Bytes planes(3 * count, 0xA5);  // leftovers must not show
    UnpackIcnsChannels(data.data(), static_cast<uint32_t>(data.size()), planes.data(), pixels.data(),
                       static_cast<uint32_t>(count));
    return pixels;
}

// The packets of one channel; each case packs the same values into all
// three, so the data are the packets three times.
TEST(IcnsChannelPacking, PacketsOfWorkedExamples) {
    Bytes literal129, literal129Packed = {0x7F};
    for (int i = 0; i < 129; ++i) literal129.push_back(static_cast<uint8_t>(i % 2 ? i : 255 - i));
    literal129Packed.insert(literal129Packed.end(), literal129.begin(), literal129.begin() + 128);
    literal129Packed.insert(literal129Packed.end(), {0x00, literal129[128]});
    const std::tuple<const char*, Bytes, Bytes> cases[] = {
        {"three equal values make a repeat", {1, 2, 2, 2, 3}, {0x00, 1, 0x80, 2, 0x00, 3}},
        {"two equal values stay literal", {1, 2, 2, 3}, {0x03, 1, 2, 2, 3}},
        {"129 values without a run", literal129, literal129Packed},
        {"a repeat ends at 130 values", Bytes(131, 9), {0xFF, 9, 0x00, 9}},
        {"a repeat of three then one", {4, 4, 4, 5}, {0x80, 4, 0x00, 5}},
        {"one value", {7}, {0x00, 7}},
        {"16 x 16 white: repeats of 130 and 126", Bytes(256, 0xFF), {0xFF, 0xFF, 0xFB, 0xFF}},
    };
    for (const auto& [name, channel, packets] : cases) {
        const auto pixels = grey(channel);
        const Bytes packed = pack(pixels);
        Bytes all;
        for (int i = 0; i < 3; ++i) all.insert(all.end(), packets.begin(), packets.end());
        EXPECT_EQ(packed, all) << name;
        Bytes tight(packed.size() - 1);  // a buffer one byte short is refused, never overrun
        EXPECT_EQ(PackIcnsChannels(pixels.data(), uint32_t(pixels.size()), tight.data(), uint32_t(tight.size())), 0u);
    }
}

TEST(IcnsChannelUnpacking, DamagedAndUnusualData) {
    const std::tuple<const char*, Bytes, std::vector<uint32_t>> cases[] = {  // four pixels
        {"four leading zero bytes are skipped on any size",
         {0, 0, 0, 0, 0x81, 1, 0x81, 2, 0x81, 3},
         {0xFF010203, 0xFF010203, 0xFF010203, 0xFF010203}},
        {"a literal past the channel's end feeds the next channel",
         {0x04, 1, 2, 3, 4, 0x83, 7, 0x83, 8},
         {0xFF010708, 0xFF020708, 0xFF030708, 0xFF040708}},
        {"a repeat past the channel's end is cut there",
         {0xFF, 1, 0x81, 2, 0x81, 3},
         {0xFF010203, 0xFF010203, 0xFF010203, 0xFF010203}},
        {"data that end early leave zeros",
         {0x81, 9, 0x00},
         {0xFF090000, 0xFF090000, 0xFF090000, 0xFF090000}},
        {"a control byte without its value ends the data",
         {0x81, 9, 0x01, 5, 6, 0x81},
         {0xFF090500, 0xFF090600, 0xFF090000, 0xFF090000}},
        {"nothing at all", {}, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000}},
        {"bytes after blue are ignored",
         {0x81, 1, 0x81, 2, 0x81, 3, 0x81, 4},
         {0xFF010203, 0xFF010203, 0xFF010203, 0xFF010203}},
    };
    for (const auto& [name, data, pixels] : cases) EXPECT_EQ(unpack(data, 4), pixels) << name;
}

}  // namespace
