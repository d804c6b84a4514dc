// Helpers shared by every suite: a scratch folder per test, whole-file
// reading and writing, an independent CRC-32, memory use by tag, and a
// fixture that insists every test leaves no block or stream behind.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "host/memory.h"
#include "host/streams.h"

namespace pictra::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline Bytes readFile(const fs::path& path) {
    const std::string text = readText(path);
    return Bytes(text.begin(), text.end());
}

inline void writeText(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

inline void writeFile(const fs::path& path, const Bytes& bytes) {
    writeText(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// `text` as one word of a shell command. An object rather than a function,
// so that a call with a std::string never reaches std::quoted by its argument.
inline constexpr auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
};

// CRC-32 bit by bit, the way the checksum is defined, without any table.
inline uint32_t bitwiseCrc32(std::string_view text) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : text) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
    }
    return ~crc;
}

inline host::TagUsage tagUsage(const std::string& tag) {
    for (const host::TagUsage& usage : host::memoryUsageByTag())
        if (usage.tag == tag) return usage;
    return host::TagUsage{tag};
}

// The files of a folder of the shared corpus, sorted, without its sub-folders.
inline std::vector<fs::path> corpusFolder(const std::string& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A fresh folder for each test under the system's temporary folder, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pictra-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& leaf) const { return (folder_ / leaf).string(); }

    // Writes `bytes` as the file `leaf` of the folder and returns its path.
    std::string scratchFile(const std::string& leaf, const Bytes& bytes) const {
        writeFile(path(leaf), bytes);
        return path(leaf);
    }

    // The names in the scratch folder, sorted.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

// Every test must release every block and close every stream it caused.
// (Every test of every suite is also checked for decoded pictures left
// unreleased and frees of blocks that were not live: test_support.cpp.)
class LeakCheckedTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        host::resetStreamCounters();
    }
    void TearDown() override {
        host::clearAllocationFaults();
        host::clearFileWriteLimit();
        EXPECT_EQ(host::liveBlockCount(), 0u) << host::leakReport();
        EXPECT_EQ(host::streamCounters().liveStreams, 0u);
        ScratchTest::TearDown();
    }
};

}  // namespace pictra::test
