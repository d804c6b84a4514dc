// The host tests' services, made once.
#pragma once

#include <cstdint>
#include <vector>

#include "host/compression.h"
#include "byte_builder.h"
#include "host/services.h"
#include "test_support.h"

namespace pictra::host::test {

using namespace pictra::test;

inline const HostServices& services() {
    static const HostServices instance = makeHostServices();
    return instance;
}

// A PNG made by hand: IHDR, one IDAT compressed by the host, IEND. `rows`
// are the raw scanlines, each led by its filter byte; without rows, only
// the signature and IHDR.
inline std::vector<uint8_t> pngFile(uint32_t width, uint32_t height, uint8_t depth,
                                    uint8_t colourType, const std::vector<uint8_t>& rows) {
    ByteBuilder png;
    png.raw({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    png.raw(pngChunk("IHDR", ByteBuilder().be32(width).be32(height).u8(depth).u8(colourType).zeros(3)));
    if (!rows.empty()) {
        std::vector<uint8_t> packed(rows.size() + 64);
        uint32_t length = static_cast<uint32_t>(packed.size());
        if (compressBlock(packed.data(), &length, rows.data(), static_cast<uint32_t>(rows.size())) != 0)
            return {};
        packed.resize(length);
        png.raw(pngChunk("IDAT", packed)).raw(pngChunk("IEND", {}));
    }
    return png.bytes();
}

}  // namespace pictra::host::test
