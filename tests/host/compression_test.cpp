// Compression, CRC-32 and format registration through their tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/registry.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::Bytes;
using test::services;

// zlib's compressBound() room is always enough, even for noise; a
// destination too small is -5, a bad header, Adler-32 or a cut stream -3.
TEST(CompressionTest, RoundTripInZlibFormatAndErrorCodes) {
    const CompressionTable& table = *services().compression;
    uint32_t seed = 1;
    for (uint32_t size : {0u, 1u, 36u, 4096u, 70000u, 262144u}) {
        SCOPED_TRACE(size);
        Bytes data(size);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        uint32_t room = size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
        Bytes packed(room);
        ASSERT_EQ(table.CompressBlock(packed.data(), &room, data.data(), size), 0);
        // zlib header: deflate, 32K window, check bits make it a multiple of 31.
        EXPECT_EQ(packed[0], 0x78);
        EXPECT_EQ((packed[0] * 256 + packed[1]) % 31, 0);
        packed.resize(room);
        Bytes out(size + 1);
        uint32_t length = size + 1;
        ASSERT_EQ(table.UncompressBlock(out.data(), &length, packed.data(), room), 0);
        EXPECT_EQ(length, size);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
        if (size < 4096) continue;
        uint32_t tiny = 4;
        EXPECT_EQ(table.CompressBlock(out.data(), &tiny, data.data(), size), -5);
        EXPECT_EQ(tiny, 4u);
        length = size - 1;
        EXPECT_EQ(table.UncompressBlock(out.data(), &length, packed.data(), room), -5);
        Bytes badHeader = packed, badSum = packed, cut(packed.begin(), packed.begin() + room / 2);
        badHeader[0] = 0x79;
        badSum.back() ^= 0xFF;
        for (const Bytes* corrupt : {&badHeader, &badSum, &cut}) {
            length = size;
            EXPECT_EQ(table.UncompressBlock(out.data(), &length, corrupt->data(), uint32_t(corrupt->size())), -3);
        }
    }
}

TEST(ChecksumTest, Crc32MatchesPng) {
    EXPECT_EQ(services().checksum->Crc32Block("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(services().checksum->Crc32Block("IEND", 4), 0xAE426082u);
    EXPECT_EQ(services().checksum->Crc32Block("IEND", 0), 0u);
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
