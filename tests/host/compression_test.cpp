// CRC-32 and format registration through their tables. Compression is
// codec_sets_test's (each set's streams under both, and their error codes)
// and the format suites' (their corpus saved compressed and read back, on
// every target).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/registry.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::Bytes;
using test::services;

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
