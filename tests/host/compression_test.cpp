// Compression, CRC-32 and format registration through their tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/registry.h"
#include "test_support.h"

namespace pictra::host {
namespace {

using test::services;

std::vector<uint8_t> sample() {
    std::vector<uint8_t> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i / 7) ^ (i % 13));
    return data;
}

TEST(CompressionTest, RoundTripInZlibFormat) {
    const CompressionTable& table = *services().compression;
    const std::vector<uint8_t> data = sample();
    std::vector<uint8_t> packed(data.size() + 64);
    uint32_t packedLength = uint32_t(packed.size());
    ASSERT_EQ(table.CompressBlock(packed.data(), &packedLength, data.data(), uint32_t(data.size())), 0);
    ASSERT_LT(packedLength, data.size());
    // zlib header: deflate, 32K window, check bits make it a multiple of 31.
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ((packed[0] * 256 + packed[1]) % 31, 0);

    std::vector<uint8_t> unpacked(data.size());
    uint32_t unpackedLength = uint32_t(unpacked.size());
    ASSERT_EQ(table.UncompressBlock(unpacked.data(), &unpackedLength, packed.data(), packedLength), 0);
    EXPECT_EQ(unpackedLength, data.size());
    EXPECT_EQ(unpacked, data);
}

TEST(CompressionTest, SmallDestinationsAndCorruptInputGiveZlibCodes) {
    const CompressionTable& table = *services().compression;
    const std::vector<uint8_t> data = sample();
    std::vector<uint8_t> packed(data.size() + 64);
    uint32_t packedLength = uint32_t(packed.size());
    ASSERT_EQ(table.CompressBlock(packed.data(), &packedLength, data.data(), uint32_t(data.size())), 0);

    uint32_t tiny = 4;
    EXPECT_EQ(table.CompressBlock(packed.data(), &tiny, data.data(), uint32_t(data.size())), -5);
    EXPECT_EQ(tiny, 4u);
    std::vector<uint8_t> out(data.size());
    uint32_t shortRoom = uint32_t(data.size() - 1);
    EXPECT_EQ(table.UncompressBlock(out.data(), &shortRoom, packed.data(), packedLength), -5);

    std::vector<uint8_t> corrupt(packed.begin(), packed.begin() + packedLength);
    corrupt[0] = 0x79;  // not a deflate header any more
    uint32_t room = uint32_t(out.size());
    EXPECT_EQ(table.UncompressBlock(out.data(), &room, corrupt.data(), uint32_t(corrupt.size())), -3);
    corrupt = std::vector<uint8_t>(packed.begin(), packed.begin() + packedLength);
    corrupt.back() ^= 0xFF;  // Adler-32 no longer matches
    room = uint32_t(out.size());
    EXPECT_EQ(table.UncompressBlock(out.data(), &room, corrupt.data(), uint32_t(corrupt.size())), -3);
    room = uint32_t(out.size());
    EXPECT_EQ(table.UncompressBlock(out.data(), &room, packed.data(), packedLength / 2), -3);
}

TEST(ChecksumTest, Crc32MatchesPng) {
    const char* text = "123456789";
    EXPECT_EQ(services().checksum->Crc32Block(text, 9), 0xCBF43926u);
    const uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(services().checksum->Crc32Block(iend, 4), 0xAE426082u);
    EXPECT_EQ(services().checksum->Crc32Block(text, 0), 0u);
}

TEST(RegistryTest, RegistrationsKeepOrderAndReplaceByFormatId) {
    clearRegisteredFormats();
    const SystemTable& system = *services().system;
    PluginInfo info{};
    EXPECT_EQ(system.RegisterFormat(&info, 4, "Amiga icon", nullptr, "info", 0x11, 3), 1);
    EXPECT_EQ(system.RegisterFormat(&info, 4, "Windows icon", nullptr, "ico", 0x22, 3), 1);
    std::string transient = "Amiga icon 2";
    EXPECT_EQ(system.RegisterFormat(&info, 4, transient.c_str(), nullptr, "inf", 0x11, 3), 1);
    transient.assign("overwritten");
    const std::vector<RegisteredFormat> formats = registeredFormats();
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].description, "Amiga icon 2");
    EXPECT_EQ(formats[0].extension, "inf");
    EXPECT_EQ(formats[0].formatId, 0x11u);
    EXPECT_EQ(formats[1].description, "Windows icon");
    EXPECT_EQ(registrationCalls(), 3u);
    clearRegisteredFormats();
    EXPECT_TRUE(registeredFormats().empty());
    EXPECT_EQ(registrationCalls(), 0u);
}

}  // namespace
}  // namespace pictra::host
