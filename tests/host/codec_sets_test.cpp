// The system and the portable codec sets held against each other: the same
// PNG bytes decode to the same pixels, each set's PNGs and zlib streams are
// read by the other, and the CRCs agree.
#include <gtest/gtest.h>
#include <spng.h>

#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "host/image_codecs.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using Bytes = std::vector<uint8_t>;

const CodecSet* const kSets[] = {&systemCodecs(), &portableCodecs()};

// Bytes 0..n-1 of a fixed pseudo-random sequence.
Bytes noise(std::size_t n, uint32_t seed) {
    Bytes bytes(n);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

struct PngCase {
    const char* what;
    spng_ihdr header;
    std::size_t imageBytes;  // in file order: samples big-endian, rows packed
    int paletteEntries;      // > 0: a PLTE of that many entries, with a tRNS
};

// Encoded by libspng, which takes the image bytes as they stand in the file.
Bytes spngEncode(const PngCase& c) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header = c.header;
    spng_set_ihdr(ctx, &header);
    if (c.paletteEntries > 0) {
        spng_plte palette{};
        spng_trns transparency{};
        palette.n_entries = static_cast<uint32_t>(c.paletteEntries);
        transparency.n_type3_entries = palette.n_entries / 2;
        const Bytes colours = noise(4 * 256, 7);
        for (uint32_t i = 0; i < palette.n_entries; ++i) {
            palette.entries[i] = {colours[i * 4], colours[i * 4 + 1], colours[i * 4 + 2], 0};
            transparency.type3_alpha[i] = colours[i * 4 + 3];
        }
        spng_set_plte(ctx, &palette);
        spng_set_trns(ctx, &transparency);
    }
    Bytes image = noise(c.imageBytes, c.header.width * 31 + c.header.bit_depth);
    if (c.paletteEntries > 0)  // indexes within the palette
        for (auto& b : image) b = static_cast<uint8_t>(b % c.paletteEntries);
    Bytes result;
    if (spng_encode_image(ctx, image.data(), image.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) == 0) {
        std::size_t length = 0;
        int error = 0;
        auto* buffer = static_cast<uint8_t*>(spng_get_png_buffer(ctx, &length, &error));
        if (buffer) result.assign(buffer, buffer + length);
        std::free(buffer);
    }
    spng_ctx_free(ctx);
    return result;
}

TEST(CodecSetsTest, TheSamePngBytesDecodeToTheSamePixels) {
    const PngCase cases[] = {
        {"palette 8-bit with alpha", {7, 5, 8, SPNG_COLOR_TYPE_INDEXED, 0, 0, 0}, 35, 200},
        {"palette 2-bit", {9, 3, 2, SPNG_COLOR_TYPE_INDEXED, 0, 0, 0}, 9, 4},
        {"grey 16-bit", {5, 3, 16, SPNG_COLOR_TYPE_GRAYSCALE, 0, 0, 0}, 30, 0},
        {"grey and alpha", {4, 4, 8, SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 0, 0, 0}, 32, 0},
        {"RGB 8-bit", {5, 5, 8, SPNG_COLOR_TYPE_TRUECOLOR, 0, 0, 0}, 75, 0},
        {"RGBA 16-bit", {3, 6, 16, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0}, 144, 0},
        {"RGBA interlaced", {11, 9, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 1}, 396, 0},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes png = spngEncode(c);
        ASSERT_FALSE(png.empty());
        std::string error;
        const auto reference = systemCodecs().decodePng(png, &error, {});
        ASSERT_TRUE(reference) << error;
        const auto portable = portableCodecs().decodePng(png, &error, {});
        ASSERT_TRUE(portable) << error;
        EXPECT_EQ(std::tie(portable->width, portable->height, portable->pixels),
                  std::tie(reference->width, reference->height, reference->pixels));
    }
}

TEST(CodecSetsTest, EachSetsPngIsReadByBothWithThePlainIend) {
    const uint32_t width = 17, height = 11;
    const Bytes rgba = noise(std::size_t{width} * height * 4, 99);
    std::vector<uint32_t> expected;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        expected.push_back(uint32_t{rgba[i + 3]} << 24 | uint32_t{rgba[i]} << 16 | uint32_t{rgba[i + 1]} << 8 | rgba[i + 2]);
    const Bytes iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    for (const CodecSet* writer : kSets) {
        const Bytes png = writer->encodeRgbaPng(rgba.data(), width, height);
        ASSERT_GT(png.size(), 12u);
        EXPECT_EQ(Bytes(png.end() - 12, png.end()), iend) << writer->name;
        for (const CodecSet* reader : kSets) {
            const auto picture = reader->decodePng(png, nullptr, {});
            ASSERT_TRUE(picture) << writer->name << " to " << reader->name;
            EXPECT_EQ(picture->pixels, expected) << writer->name << " to " << reader->name;
        }
    }
}

// The portable set is the host's on some targets, so it must take and refuse
// what the system set does, not only agree on what both take. A zlib stream
// followed by other bytes is whole.
TEST(CodecSetsTest, EachSetsStreamsUncompressUnderBothAndCrcsAgree) {
    Bytes patterned(5000);
    for (std::size_t i = 0; i < patterned.size(); ++i) patterned[i] = uint8_t((i / 7) ^ (i % 13));
    const Bytes inputs[] = {{}, {42}, patterned, noise(70000, 5)};
    for (const Bytes& data : inputs) {
        SCOPED_TRACE(data.size());
        EXPECT_EQ(portableCodecs().crc32(data.data(), uint32_t(data.size())),
                  systemCodecs().crc32(data.data(), uint32_t(data.size())));
        for (const CodecSet* packer : kSets) {
            Bytes packed(data.size() + data.size() / 8 + 64);
            uint32_t length = uint32_t(packed.size());
            ASSERT_EQ(packer->compress(packed.data(), &length, data.data(), uint32_t(data.size())), 0)
                << packer->name;
            packed.resize(length);
            for (const CodecSet* unpacker : kSets) {
                SCOPED_TRACE(std::string(packer->name) + " to " + unpacker->name);
                Bytes out(data.size() + 1);
                uint32_t room = uint32_t(out.size());
                ASSERT_EQ(unpacker->uncompress(out.data(), &room, packed.data(), length), 0);
                out.resize(room);
                EXPECT_EQ(out, data);
                if (data.empty()) continue;
                room = uint32_t(data.size() - 1);
                EXPECT_EQ(unpacker->uncompress(out.data(), &room, packed.data(), length), -5);
                Bytes badSum = packed;
                badSum.back() ^= 1;
                room = uint32_t(out.size());
                EXPECT_EQ(unpacker->uncompress(out.data(), &room, badSum.data(), length), -3);
                for (const Bytes& tail : {Bytes{0}, noise(9, 3)}) {
                    Bytes padded = packed;
                    padded.insert(padded.end(), tail.begin(), tail.end());
                    out.assign(data.size(), 0);
                    room = uint32_t(out.size());
                    ASSERT_EQ(unpacker->uncompress(out.data(), &room, padded.data(), uint32_t(padded.size())), 0);
                    EXPECT_EQ(out, data);
                }
            }
        }
    }
}

TEST(CodecSetsTest, HostilePngsAreTakenOrRefusedAlike) {
    // libspng reads the image data only until the picture is complete, so a
    // file cut or damaged after it (an IDAT's CRC included) still decodes;
    // before it, it fails.
    const PngCase rgba{"", {9, 7, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0}, 252, 0};
    const Bytes png = spngEncode(rgba);
    ASSERT_GT(png.size(), 24u);
    std::vector<Bytes> variants;
    for (std::size_t cut = 8; cut < png.size(); ++cut) variants.emplace_back(png.begin(), png.begin() + long(cut));
    const Bytes body(png.begin(), png.end() - 12);  // without IEND
    const Bytes tails[] = {{0, 0, 0, 1, 'A', 'B', 'C', 'D', 7, 1, 2, 3, 4},
                           {0, 0, 0, 1, 'I', 'D', 'A', 'T', 7, 1, 2, 3, 4}};
    for (const Bytes& tail : tails) {
        variants.push_back(body);
        variants.back().insert(variants.back().end(), tail.begin(), tail.end());
    }
    for (std::size_t at : {png.size() - 1, png.size() - 14, std::size_t{40}}) {
        variants.push_back(png);
        variants.back()[at] ^= 1;  // the CRC of IEND, of the last IDAT; a data byte
    }
    // Image data longer than the picture, with its trailer right or wrong;
    // exactly long enough with a wrong trailer.
    const Bytes rows = {0, 1, 2, 0, 3, 4, 0, 5, 6};
    for (uint32_t height : {2u, 3u}) {
        variants.push_back(test::pngFile(2, height, 8, 0, rows));
        variants.push_back(variants.back());
        variants.back()[variants.back().size() - 12 - 5] ^= 1;
    }
    // Long data with the IDAT made 6 bytes shorter: it ends a little after
    // the rows, before the stream does, stream bytes stand where its CRC
    // should and junk where the next chunk's header should. libspng reads
    // none of that.
    variants.push_back(test::pngFile(2, 2, 8, 0, rows));
    variants.back()[36] -= 6;  // the low byte of the IDAT's length
    int taken = 0;
    for (std::size_t v = 0; v < variants.size(); ++v) {
        const auto system = systemCodecs().decodePng(variants[v], nullptr, {});
        const auto portable = portableCodecs().decodePng(variants[v], nullptr, {});
        ASSERT_EQ(bool(system), bool(portable)) << "variant " << v << " of " << variants.size();
        if (!system) continue;
        ++taken;
        EXPECT_EQ(system->pixels, portable->pixels) << "variant " << v;
    }
    EXPECT_EQ(taken, 16 + 2 + 2 + 3 + 1);  // cuts from the last IDAT's CRC on, tails, CRCs, long data, cut long data
}

}  // namespace
}  // namespace pictra::host
