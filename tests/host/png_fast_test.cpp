// The fast way through a PNG held against libspng alone: every layout it
// covers, with rows under each of the five filters, gives libspng's pixels;
// what it cannot finish as libspng would, it declines, and the host's
// decoding then still agrees with libspng.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/compression.h"
#include "host/system/codecs.h"
#include "host/system/png_fast.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ByteBuilder;
using test::pngChunk;

struct PngSpec {
    const char* what;
    uint32_t width, height;
    uint8_t depth, colourType;
    Bytes palette;       // PLTE data
    Bytes transparency;  // tRNS data
    int parts = 1;       // IDAT chunks the stream is cut into
    uint8_t indexCeiling = 0;  // > 0: palette indexes are kept below it
};

uint32_t next(uint32_t& seed) { return seed = seed * 1664525u + 1013904223u; }

// Rows of noise whose filter bytes go through 0-4 in turn.
Bytes filteredRows(const PngSpec& spec) {
    static constexpr uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const std::size_t rowBytes = (std::size_t{spec.width} * spec.depth * kChannels[spec.colourType] + 7) / 8;
    uint32_t seed = spec.width * 7 + spec.depth;
    Bytes rows;
    for (uint32_t y = 0; y < spec.height; ++y) {
        rows.push_back(static_cast<uint8_t>(y % 5));
        for (std::size_t i = 0; i < rowBytes; ++i) rows.push_back(static_cast<uint8_t>(next(seed) >> 24));
    }
    if (spec.indexCeiling) {  // unfiltered bytes under filter 0 only, every index of one byte
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = i % (rowBytes + 1) == 0 ? 0 : static_cast<uint8_t>(rows[i] % spec.indexCeiling);
    }
    return rows;
}

Bytes zlibStream(const Bytes& raw) {
    Bytes packed(raw.size() + raw.size() / 8 + 64);
    uint32_t length = static_cast<uint32_t>(packed.size());
    EXPECT_EQ(compressBlock(packed.data(), &length, raw.data(), static_cast<uint32_t>(raw.size())), kZOk);
    packed.resize(length);
    return packed;
}

Bytes pngOf(const PngSpec& spec, const Bytes& stream) {
    ByteBuilder png;
    png.raw({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    png.raw(pngChunk("IHDR", ByteBuilder().be32(spec.width).be32(spec.height).u8(spec.depth).u8(spec.colourType).zeros(3)));
    if (!spec.palette.empty()) png.raw(pngChunk("PLTE", spec.palette));
    if (!spec.transparency.empty()) png.raw(pngChunk("tRNS", spec.transparency));
    const std::size_t part = stream.size() / spec.parts + 1;
    for (std::size_t at = 0; at < stream.size(); at += part)
        png.raw(pngChunk("IDAT", Bytes(stream.begin() + long(at), stream.begin() + long(std::min(stream.size(), at + part)))));
    png.raw(pngChunk("IEND", {}));
    return png.bytes();
}

// The layout as libspng hands it to the fast way.
system::PngLayout layoutOf(const PngSpec& spec) {
    system::PngLayout layout;
    layout.width = spec.width;
    layout.height = spec.height;
    layout.depth = spec.depth;
    layout.colourType = spec.colourType;
    layout.paletteSize = static_cast<uint32_t>(spec.palette.size() / 3);
    for (uint32_t i = 0; i < layout.paletteSize; ++i) {
        const uint32_t alpha = i < spec.transparency.size() ? spec.transparency[i] : 255;
        layout.palette[i] = alpha << 24 | uint32_t{spec.palette[3 * i]} << 16 |
                            uint32_t{spec.palette[3 * i + 1]} << 8 | spec.palette[3 * i + 2];
    }
    if (spec.colourType != 3 && !spec.transparency.empty()) {
        const Bytes& t = spec.transparency;
        layout.hasKey = true;
        layout.keyGrey = uint16_t(t[0] << 8 | t[1]);
        if (t.size() == 6) {
            layout.keyRed = uint16_t(t[0] << 8 | t[1]);
            layout.keyGreen = uint16_t(t[2] << 8 | t[3]);
            layout.keyBlue = uint16_t(t[4] << 8 | t[5]);
        }
    }
    return layout;
}

Bytes paletteOf(int entries) {
    Bytes palette;
    for (int i = 0; i < entries * 3; ++i) palette.push_back(static_cast<uint8_t>(i * 37 + 11));
    return palette;
}

constexpr uint64_t kBudget = uint64_t{1} << 30;

TEST(PngFastTest, EveryCoveredLayoutUnderEveryFilterGivesLibspngsPixels) {
    const PngSpec specs[] = {
        {"RGBA", 37, 11, 8, 6, {}, {}},
        {"RGBA in three IDAT chunks", 64, 20, 8, 6, {}, {}, 3},
        {"RGB with a colour key", 13, 10, 8, 2, {}, {0, 0x5C, 0, 0x2B, 0, 0x90}},
        {"grey with a key", 21, 10, 8, 0, {}, {0, 0x9E}},
        {"grey and alpha", 9, 10, 8, 4, {}, {}},
        {"palette of 8 bits with alphas", 17, 10, 8, 3, paletteOf(256), Bytes(100, 0x40)},
        {"palette of 4 bits", 15, 10, 4, 3, paletteOf(16), {}},
        {"palette of 2 bits", 11, 10, 2, 3, paletteOf(4), {0, 255}},
        {"palette of 1 bit", 9, 10, 1, 3, paletteOf(2), {}},
    };
    for (const PngSpec& spec : specs) {
        SCOPED_TRACE(spec.what);
        const Bytes png = pngOf(spec, zlibStream(filteredRows(spec)));
        std::string error;
        const auto reference = system::decodePngReference(png, &error, {});
        ASSERT_TRUE(reference) << error;
        const auto fast = system::decodePngFast(png, layoutOf(spec), kBudget);
        ASSERT_TRUE(fast);
        EXPECT_EQ(std::tie(fast->width, fast->height, fast->pixels),
                  std::tie(reference->width, reference->height, reference->pixels));
    }
}

TEST(PngFastTest, WhatItCannotFinishAsLibspngWouldIsLeftToLibspng) {
    const PngSpec rgba{"", 16, 8, 8, 6, {}, {}};
    const Bytes rows = filteredRows(rgba);
    const Bytes stream = zlibStream(rows);
    Bytes longer = rows;
    longer.insert(longer.end(), 70, 0);
    Bytes badFilter = rows;
    badFilter[0] = 5;
    Bytes smallWindow = stream;  // a 256-byte window for 520 bytes of rows
    smallWindow[0] = 0x08;
    smallWindow[1] = static_cast<uint8_t>(31 - (0x08 * 256) % 31);
    Bytes lastCrc = pngOf(rgba, stream);
    lastCrc[lastCrc.size() - 13] ^= 1;  // libspng never checks the last IDAT's CRC
    const PngSpec palette{"", 12, 6, 8, 3, paletteOf(5), {}, 1, 9};  // indexes 5-8 lie past the palette
    struct Case {
        const char* what;
        Bytes png;
        PngSpec spec;
    } cases[] = {
        {"more data than the rows", pngOf(rgba, zlibStream(longer)), rgba},
        {"a filter type past 4", pngOf(rgba, zlibStream(badFilter)), rgba},
        {"a window smaller than the rows", pngOf(rgba, smallWindow), rgba},
        {"the last IDAT's CRC wrong", lastCrc, rgba},
        {"palette indexes past the palette", pngOf(palette, zlibStream(filteredRows(palette))), palette},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(system::decodePngFast(c.png, layoutOf(c.spec), kBudget));
        std::string error;
        const auto reference = system::decodePngReference(c.png, &error, {});
        const auto host = system::decodePng(c.png, &error, {});
        ASSERT_EQ(bool(host), bool(reference));
        if (host) {
            EXPECT_EQ(host->pixels, reference->pixels);
        }
    }
    // A budget too small for the picture and the rows it is inflated into.
    EXPECT_FALSE(system::decodePngFast(pngOf(rgba, stream), layoutOf(rgba), 16 * 8 * 4));
}

TEST(PngFastTest, ImageDataInSeveralChunksIsGatheredInPlaceAndPutBackWhenDeclined) {
    const PngSpec rgba{"", 24, 10, 8, 6, {}, {}, 4};
    Bytes badFilter = filteredRows(rgba);
    badFilter[(24 * 4 + 1) * 9] = 7;  // the last row's filter type
    for (const Bytes& rows : {filteredRows(rgba), badFilter}) {
        const Bytes png = pngOf(rgba, zlibStream(rows));
        Bytes writable = png;
        const auto reference = system::decodePngReference(png, nullptr, {});
        const auto fast = system::decodePngFast(writable, layoutOf(rgba), kBudget, writable);
        ASSERT_EQ(bool(fast), bool(reference));
        if (fast) {
            EXPECT_EQ(fast->pixels, reference->pixels);
        } else {
            EXPECT_EQ(writable, png);  // put back for libspng
        }
        Bytes again = png;
        const auto host = system::decodePngInPlace(again, nullptr, {});
        ASSERT_EQ(bool(host), bool(reference));
        if (host) {
            EXPECT_EQ(host->pixels, reference->pixels);
        }
    }
}

}  // namespace
}  // namespace pictra::host
