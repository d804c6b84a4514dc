// The host tests' services, made once.
#pragma once

#include <cstdint>
#include <vector>

#include "host/compression.h"
#include "host/services.h"
#include "test_support.h"

namespace pictra::host::test {

using namespace pictra::test;

inline const HostServices& services() {
    static const HostServices instance = makeHostServices();
    return instance;
}

// A PNG made by hand: IHDR, one IDAT compressed by the host, IEND. `rows`
// are the raw scanlines, each led by its filter byte.
inline std::vector<uint8_t> pngFile(uint32_t width, uint32_t height, uint8_t depth,
                                    uint8_t colourType, const std::vector<uint8_t>& rows) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto put32 = [&png](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        put32(static_cast<uint32_t>(data.size()));
        const std::size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        put32(crc32Block(png.data() + start, static_cast<uint32_t>(png.size() - start)));
    };
    std::vector<uint8_t> header;
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(v >> shift));
    header.insert(header.end(), {depth, colourType, 0, 0, 0});
    chunk("IHDR", header);
    if (!rows.empty()) {
        std::vector<uint8_t> packed(rows.size() + 64);
        uint32_t length = static_cast<uint32_t>(packed.size());
        if (compressBlock(packed.data(), &length, rows.data(), static_cast<uint32_t>(rows.size())) != 0)
            return {};
        packed.resize(length);
        chunk("IDAT", packed);
        chunk("IEND", {});
    }
    return png;
}

// A PNG signature and IHDR that declare the given size, then nothing.
inline std::vector<uint8_t> pngHeaderOnly(uint32_t width, uint32_t height) {
    return pngFile(width, height, 8, 6, {});
}

}  // namespace pictra::host::test
