// Shared helpers of the module suites: scratch files, an independent CRC-32,
// and a fixture that insists every test leaves no block or stream behind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/memory.h"
#include "host/streams.h"

namespace pictra::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder per test, removed afterwards.
inline std::filesystem::path scratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::path(::testing::TempDir()) / "pictra-module" /
               (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bit by bit, the way the checksum is defined, without any table.
inline uint32_t bitwiseCrc32(const std::string& text) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : text) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
    }
    return ~crc;
}

// Every test must release every block and close every stream it caused.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { host::resetStreamCounters(); }
    void TearDown() override {
        host::clearAllocationFaults();
        EXPECT_EQ(host::liveBlockCount(), 0u) << host::leakReport();
        EXPECT_EQ(host::streamCounters().liveStreams, 0u);
    }
};

}  // namespace pictra::test
