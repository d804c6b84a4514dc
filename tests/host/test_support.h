// Shared helpers of the host tests.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/services.h"

namespace pictra::host::test {

inline const HostServices& services() {
    static const HostServices instance = makeHostServices();
    return instance;
}

// A file path under the system temporary folder, unique to this process.
inline std::string tempPath(const std::string& leaf) {
    return (std::filesystem::temp_directory_path() /
            ("pictra-host-" + std::to_string(::getpid()) + "-" + leaf))
        .string();
}

inline std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace pictra::host::test
