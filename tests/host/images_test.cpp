// Image decoding and PNG encoding through the Image and Stream tables.
#include <gtest/gtest.h>
#ifndef PICTRA_PORTABLE_CODECS
#include <openjpeg.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "host/compression.h"
#include "host/images.h"
#include "host/streams.h"
#include "byte_builder.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::services;

const uint8_t kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

std::vector<uint32_t> samplePixels(uint32_t width, uint32_t height) {
    std::vector<uint32_t> pixels(std::size_t{width} * height);
    for (uint32_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (i * 0x9E3779B9u) ^ (i << 7);  // every channel, every alpha
    return pixels;
}

struct Decoded {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    bool ok = false;
};

Decoded decodeByName(const char* name, bool memoryBlock) {
    const ImageTable& image = *services().image;
    const TagItem fileTags[] = {{DecodeTagTrueColour, 1}, {TagEnd, 0}};
    const TagItem memoryTags[] = {{DecodeTagTrueColour, 1}, {DecodeTagMemoryBlock, 0}, {TagEnd, 0}};
    Decoded result;
    HostImageHandle handle =
        image.DecodeImageFile(name, memoryBlock ? memoryTags : fileTags, &result.width,
                              &result.height, 0);
    if (!handle) return result;
    const uint32_t* pixels = image.ImagePixels(handle);
    result.pixels.assign(pixels, pixels + std::size_t(result.width) * std::size_t(result.height));
    image.ReleaseImage(handle);
    result.ok = true;
    return result;
}

std::string nameBlock(const std::vector<uint8_t>& bytes) {
    MemoryBlockDesc desc{};
    desc.data = bytes.data();
    desc.extension = "png";
    desc.sizeLow = static_cast<uint32_t>(bytes.size());
    char name[MemoryNameLength];
    if (!services().stream->NameMemoryBlock(name, MemoryNameLength, &desc, 0)) return "";
    return name;
}

Decoded decodeBytes(const std::vector<uint8_t>& bytes) {
    const std::string name = nameBlock(bytes);
    return decodeByName(name.c_str(), true);
}

using PngTest = test::ScratchTest;

TEST_F(PngTest, RoundTripThroughAMemoryOutputOrAFileEndsWithThePlainIend) {
    const auto pixels = samplePixels(13, 7);
    char name[MemoryNameLength];
    StreamHandle output = services().stream->OpenMemoryOutput(name, MemoryNameLength, 0);
    ASSERT_NE(output, nullptr);
    ASSERT_NE(services().image->EncodePngFile(name, pixels.data(), 13, 7, 1, 0, 0), 0);
    uint32_t size = 0;
    const auto* bytes =
        static_cast<const uint8_t*>(services().stream->MemoryOutputBytes(output, &size, 0));
    const std::vector<uint8_t> inMemory(bytes, bytes + size);
    services().stream->CloseMemoryOutput(output);
    const std::string file = path("encode.png");
    ASSERT_NE(services().image->EncodePngFile(file.c_str(), pixels.data(), 13, 7, 1, 0, 0), 0);
    const std::vector<uint8_t> inFile = test::readFile(file);

    for (bool viaFile : {false, true}) {
        const std::vector<uint8_t>& png = viaFile ? inFile : inMemory;
        ASSERT_GT(png.size(), 8u + 25u + 12u);
        EXPECT_EQ(std::memcmp(png.data() + png.size() - 12, kIend, 12), 0);
        // Byte 25 of the file is the IHDR colour type: 6, RGBA.
        EXPECT_EQ(png[25], 6);
        const Decoded decoded = viaFile ? decodeByName(file.c_str(), false) : decodeBytes(png);
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.width, 13);
        EXPECT_EQ(decoded.height, 7);
        EXPECT_EQ(decoded.pixels, pixels);
    }
    EXPECT_EQ(services().image->EncodePngFile(file.c_str(), pixels.data(), 0, 1, 1, 0, 0), 0);
    // A closed output's name is not a file path: nothing is written anywhere.
    const auto home = test::fs::current_path();
    test::fs::current_path(folder_);
    EXPECT_EQ(services().image->EncodePngFile(name, pixels.data(), 13, 7, 1, 0, 0), 0);
    test::fs::current_path(home);
    EXPECT_EQ(listing(), (std::vector<std::string>{"encode.png"}));
    EXPECT_EQ(services().image->EncodePngFile(file.c_str(), nullptr, 2, 1, 1, 0, 0), 0);
}

TEST_F(PngTest, PaletteAndGreyFilesDecodeToArgbWords) {
    const std::vector<uint8_t> palette = {255, 0, 0, 0, 128, 255, 9, 8, 7};
    // Rows lead with their filter byte, 0: none.
    const Decoded fromPalette =
        decodeBytes(test::pngFile(3, 1, 8, 3, {0, 0, 1, 2}, palette, {0, 200}));
    ASSERT_TRUE(fromPalette.ok);
    EXPECT_EQ(fromPalette.pixels, (std::vector<uint32_t>{0x00FF0000, 0xC80080FF, 0xFF090807}));

    // 16-bit grey: the high byte of each sample survives.
    const Decoded fromGrey = decodeBytes(test::pngFile(2, 1, 16, 0, {0, 0x12, 0x34, 0xFF, 0x01}));
    ASSERT_TRUE(fromGrey.ok);
    EXPECT_EQ(fromGrey.pixels, (std::vector<uint32_t>{0xFF121212, 0xFFFFFFFF}));
}

TEST(DecodeLimitsTest, OverLargeDeclaredSizesAreRefusedBeforeDecoding) {
    std::string error;
    EXPECT_FALSE(decodeImage(test::pngHeaderOnly(4097, 1), &error));
    EXPECT_NE(error.find("dimension"), std::string::npos) << error;
    // Caps are the caller's: a small picture over a tighter cap is refused.
    const auto pixels = samplePixels(64, 64);
    const std::vector<uint8_t> png = encodePng(pixels.data(), 64, 64);
    EXPECT_TRUE(decodeImage(png));
    EXPECT_FALSE(decodeImage(png, nullptr, DecodeLimits{32, uint64_t{1} << 20}));
    error.clear();
    EXPECT_FALSE(decodeImage(png, &error, DecodeLimits{1024, 64 * 64 * 4 - 1}));
    EXPECT_NE(error.find("memory limit"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(decodeImage(png, &error, DecodeLimits{1024, 64 * 64 * 4, 64 * 64 * 4}));
    EXPECT_NE(error.find("memory budget"), std::string::npos) << error;
}

TEST(DecodeLimitsTest, TheHostSettingRaisesTheCapsOfEveryDecode) {
    const auto wide = samplePixels(4100, 2);
    const std::vector<uint8_t> png = encodePng(wide.data(), 4100, 2);
    EXPECT_FALSE(decodeBytes(png).ok);
    const DecodeLimits before = decodeLimits();
    DecodeLimits raised = before;
    raised.maxDimension = 8192;
    setDecodeLimits(raised);
    const Decoded decoded = decodeBytes(png);
    setDecodeLimits(before);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, wide);
}

TEST(DecodeTest, TruncatedAndUnknownDataFailCleanly) {
    const auto pixels = samplePixels(20, 20);
    const std::vector<uint8_t> png = encodePng(pixels.data(), 20, 20);
    // Every cut that loses compressed picture data, that is before the last
    // IDAT's CRC and the IEND chunk (16 bytes), fails.
    for (std::size_t cut = 0; cut < png.size() - 16; cut += 7) {
        const std::vector<uint8_t> part(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(decodeImage(part)) << "cut at " << cut;
    }
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '!', '!', '!'};
    std::string error;
    EXPECT_FALSE(decodeImage(text, &error));
    EXPECT_FALSE(error.empty());
}

TEST(MemoryNameTest, ANameResolvesOnceOnlyWithTheMemoryTagAndForgedNamesNever) {
    const auto pixels = samplePixels(4, 4);
    auto png = std::make_unique<std::vector<uint8_t>>(encodePng(pixels.data(), 4, 4));
    const std::string name = nameBlock(*png);
    ASSERT_FALSE(name.empty());
    const std::string forged = nameBlock(*png);
    png.reset();  // the host copied the bytes
    // Without the memory tag a name is a file path, which does not exist.
    EXPECT_FALSE(decodeByName(name.c_str(), false).ok);
    const Decoded first = decodeByName(name.c_str(), true);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.pixels, pixels);
    EXPECT_FALSE(decodeByName(name.c_str(), true).ok);  // one-shot

    // A made-up name of the same shape resolves to nothing.
    ASSERT_FALSE(forged.empty());
    std::string changed = forged;
    changed.back() = changed.back() == 'g' ? 'n' : 'g';
    EXPECT_FALSE(decodeByName(changed.c_str(), true).ok);
    const std::string madeUp = "mem:0000000000000000:1.png";
    EXPECT_FALSE(decodeByName(madeUp.c_str(), true).ok);
    int32_t width = -5, height = -5;
    EXPECT_EQ(services().image->DecodeImageFile(madeUp.c_str(), nullptr, &width, &height, 0), nullptr);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    // Naming many more retires the oldest names; the newest still resolve.
    const std::vector<uint8_t> again = encodePng(pixels.data(), 4, 4);
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back(nameBlock(again));
    EXPECT_FALSE(decodeByName(forged.c_str(), true).ok);
    EXPECT_FALSE(decodeByName(names.front().c_str(), true).ok);
    EXPECT_TRUE(decodeByName(names.back().c_str(), true).ok);
}

// ---- JPEG 2000: files made with OpenJPEG's encoder -----------------------

#ifdef PICTRA_PORTABLE_CODECS
TEST(Jpeg2000Test, RefusedCleanlyWithoutADecoder) {
    const std::vector<uint8_t> jp2 = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    std::string error;
    EXPECT_FALSE(decodeImage(jp2, &error));
    EXPECT_NE(error.find("JPEG 2000"), std::string::npos) << error;
    EXPECT_FALSE(decodeBytes(jp2).ok);
}

TEST(Jpeg2000Test, DecodedPixels) {
    GTEST_SKIP() << "this build's portable codec set has no JPEG 2000 decoder (nor OpenJPEG "
                    "to make test files)";
}
#else
using Jpeg2000Test = test::ScratchTest;

// Lossless JPEG 2000 of `components` planes of `precision` bits, made
// through the file at `path`.
std::vector<uint8_t> encodeJpeg2000(const std::string& path, bool jp2, uint32_t width, uint32_t height,
                                    const std::vector<std::vector<int32_t>>& planes,
                                    uint32_t precision, uint32_t dx = 1) {
    const auto components = static_cast<uint32_t>(planes.size());
    std::vector<opj_image_cmptparm_t> parameters(components);
    for (auto& p : parameters) {
        p = {};
        p.dx = dx;
        p.dy = 1;
        p.w = (width + dx - 1) / dx;
        p.h = height;
        p.prec = precision;
        p.sgnd = 0;
    }
    const OPJ_COLOR_SPACE space = components >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY;
    opj_image_t* image = opj_image_create(components, parameters.data(), space);
    image->x1 = width;
    image->y1 = height;
    for (uint32_t c = 0; c < components; ++c) {
        std::memcpy(image->comps[c].data, planes[c].data(), planes[c].size() * sizeof(int32_t));
        if (c == 3 || (components == 2 && c == 1)) image->comps[c].alpha = 1;
    }
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0;
    settings.cp_disto_alloc = 1;
    settings.numresolution = 1;
    opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
    const bool ok = opj_setup_encoder(codec, &settings, image) &&
                    opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok ? test::readFile(path) : std::vector<uint8_t>{};
}

TEST_F(Jpeg2000Test, RgbaBoxFileAndRawCodestreamDecodeExactly) {
    const uint32_t w = 9, h = 5;
    std::vector<std::vector<int32_t>> planes(4, std::vector<int32_t>(w * h));
    std::vector<uint32_t> expected(w * h);
    for (uint32_t i = 0; i < w * h; ++i) {
        const int32_t r = (i * 29) & 0xFF, g = (i * 53 + 7) & 0xFF, b = (255 - i * 3) & 0xFF;
        const int32_t a = (i * 97) & 0xFF;
        planes[0][i] = r;
        planes[1][i] = g;
        planes[2][i] = b;
        planes[3][i] = a;
        expected[i] = uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
    for (bool jp2 : {true, false}) {
        const std::vector<uint8_t> file = encodeJpeg2000(path("rgba"), jp2, w, h, planes, 8);
        ASSERT_FALSE(file.empty());
        const Decoded decoded = decodeBytes(file);
        ASSERT_TRUE(decoded.ok) << (jp2 ? "jp2" : "j2k");
        EXPECT_EQ(decoded.width, int32_t(w));
        EXPECT_EQ(decoded.height, int32_t(h));
        EXPECT_EQ(decoded.pixels, expected);
    }
}

TEST_F(Jpeg2000Test, GreyIsScaledToEightBitsWithOrWithoutAlpha) {
    struct Case { std::vector<std::vector<int32_t>> planes; uint32_t width, height, precision;
                  std::vector<uint32_t> expected; };
    const Case cases[] = {
        // v * 255 / 4095, rounded: 0, 255, 128 (2048 -> 127.5...), 1.
        {{{0, 4095, 2048, 16}}, 2, 2, 12, {0xFF000000, 0xFFFFFFFF, 0xFF808080, 0xFF010101}},
        {{{10, 200}, {255, 0}}, 1, 2, 8, {0xFF0A0A0A, 0x00C8C8C8}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file =
            encodeJpeg2000(path("grey"), c.precision == 12, c.width, c.height, c.planes, c.precision);
        ASSERT_FALSE(file.empty());
        const Decoded decoded = decodeBytes(file);
        ASSERT_TRUE(decoded.ok) << c.precision;
        EXPECT_EQ(decoded.pixels, c.expected);
        for (std::size_t cut = 0; cut < file.size(); cut += 5) {
            const std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            decodeImage(part);  // any result, but no sanitizer report and no hang
        }
    }
}

// A JP2 file around a raw codestream, with a palette (pclr) of `columns`
// 8-bit columns and a channel map (cmap) sending component 0 through each.
std::vector<uint8_t> jp2WithPalette(const std::vector<uint8_t>& codestream, uint32_t width,
                                    uint32_t height, uint32_t components, uint32_t columns,
                                    uint8_t (*entry)(uint32_t index, uint32_t column)) {
    test::ByteBuilder header;
    header.be32(22).text("ihdr").be32(height).be32(width).be16(components).u8(7).u8(7).u8(0).u8(0);
    header.be32(15).text("colr").u8(1).u8(0).u8(0).be32(columns >= 3 ? 16 : 17);
    header.be32(8 + 3 + columns + 256 * columns).text("pclr").be16(256).u8(columns);
    for (uint32_t c = 0; c < columns; ++c) header.u8(7);
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t c = 0; c < columns; ++c) header.u8(entry(i, c));
    header.be32(8 + 4 * columns).text("cmap");
    for (uint32_t c = 0; c < columns; ++c) header.be16(0).u8(1).u8(c);
    test::ByteBuilder file;
    file.be32(12).text("jP  ").be32(0x0D0A870A);
    file.be32(20).text("ftyp").text("jp2 ").be32(0).text("jp2 ");
    file.be32(8 + static_cast<uint32_t>(header.size())).text("jp2h").raw(header);
    file.be32(8 + static_cast<uint32_t>(codestream.size())).text("jp2c").raw(codestream);
    return file;
}

// The decoder replaces the components by the palette's channels: fewer
// than the codestream had (which must not be read past), or more (which
// must make a colour picture of a grey codestream).
TEST_F(Jpeg2000Test, PaletteChannelsMakeThePicture) {
    const uint32_t w = 5, h = 3;
    std::vector<int32_t> plane(w * h);
    for (uint32_t i = 0; i < w * h; ++i) plane[i] = int32_t(i * 17);
    auto inverted = [](uint32_t i, uint32_t) { return uint8_t(255 - i); };
    auto coloured = [](uint32_t i, uint32_t c) { return uint8_t(c == 0 ? i : c == 1 ? 255 - i : i / 2); };

    const auto rgba = encodeJpeg2000(path("rgba"), false, w, h, {plane, plane, plane, plane}, 8);
    const auto grey = encodeJpeg2000(path("grey"), false, w, h, {plane}, 8);
    ASSERT_FALSE(rgba.empty());
    ASSERT_FALSE(grey.empty());
    const Decoded fewer = decodeBytes(jp2WithPalette(rgba, w, h, 4, 1, inverted));
    const Decoded more = decodeBytes(jp2WithPalette(grey, w, h, 1, 3, coloured));
    ASSERT_TRUE(fewer.ok);
    ASSERT_TRUE(more.ok);
    for (uint32_t i = 0; i < w * h; ++i) {
        const uint32_t v = i * 17;
        EXPECT_EQ(fewer.pixels[i], 0xFF000000u | (255 - v) * 0x010101u) << i;
        EXPECT_EQ(more.pixels[i], 0xFF000000u | v << 16 | (255 - v) << 8 | v / 2) << i;
    }
}

// A codestream header (SOC, SIZ) declaring a size, its tiles and components.
std::vector<uint8_t> codestreamHeader(uint32_t width, uint32_t height, uint32_t tile,
                                      uint32_t components) {
    test::ByteBuilder siz;
    siz.be16(0xFF4F).be16(0xFF51).be16(38 + 3 * components).be16(0);
    siz.be32(width).be32(height).be32(0).be32(0).be32(tile).be32(tile).be32(0).be32(0);
    siz.be16(components);
    for (uint32_t c = 0; c < components; ++c) siz.u8(7).u8(1).u8(1);
    return siz;
}

TEST_F(Jpeg2000Test, DeclaredSizesMeetTheCapsBeforeTheDecoderRuns) {
    struct Case { std::vector<uint8_t> file; DecodeLimits limits; const char* reason; };
    const DecodeLimits small{4096, uint64_t{64} << 20, uint64_t{100} << 20};
    const Case cases[] = {
        {codestreamHeader(5000, 10, 5000, 3), {}, "dimension"},
        {codestreamHeader(64, 64, 64, 5), {}, "components"},
        {codestreamHeader(4096, 4096, 4096, 4), small, "memory budget"},
        // Each tile costs the decoder memory however small the file.
        {codestreamHeader(4096, 4096, 16, 1), {}, "memory budget"},
        {codestreamHeader(64, 64, 0, 1), {}, "header"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(decodeImage(c.file, &error, c.limits));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    // The largest picture the default caps allow is within the budget: this
    // header fails only because the codestream ends.
    std::string error;
    EXPECT_FALSE(decodeImage(codestreamHeader(4096, 4096, 4096, 4), &error));
    EXPECT_EQ(error.find("memory budget"), std::string::npos) << error;
}

TEST_F(Jpeg2000Test, SubsampledComponentsAreRefused) {
    std::vector<std::vector<int32_t>> planes(3, std::vector<int32_t>(4 * 2, 100));
    const std::vector<uint8_t> file = encodeJpeg2000(path("sub"), true, 8, 2, planes, 8, 2);
    ASSERT_FALSE(file.empty());
    std::string error;
    EXPECT_FALSE(decodeImage(file, &error));
    EXPECT_NE(error.find("subsampled"), std::string::npos) << error;
}

#endif

}  // namespace
}  // namespace pictra::host
