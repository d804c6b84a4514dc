// Compression and format registration through their tables. Each codec
// set's own streams, error codes and CRCs are codec_sets_test's; the CRC
// through the table is in every PNG chunk the output identity digests pin.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/registry.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::Bytes;
using test::services;

// zlib's compressBound() room is always enough through the table, even for
// small noise that deflate cannot shrink; a room too small is -5.
TEST(CompressionTest, NoiseFitsInZlibsWorstCaseRoom) {
    const CompressionTable& table = *services().compression;
    uint32_t seed = 1;
    for (uint32_t size : {1u, 36u, 4096u, 70000u}) {
        SCOPED_TRACE(size);
        Bytes data(size);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        uint32_t room = size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
        Bytes packed(room), out(size);
        ASSERT_EQ(table.CompressBlock(packed.data(), &room, data.data(), size), 0);
        uint32_t length = size;
        ASSERT_EQ(table.UncompressBlock(out.data(), &length, packed.data(), room), 0);
        EXPECT_EQ(out, data);
        uint32_t tiny = 4;
        EXPECT_EQ(table.CompressBlock(out.data(), &tiny, data.data(), size), -5);
    }
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
