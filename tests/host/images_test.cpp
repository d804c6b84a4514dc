// Image decoding and PNG encoding through the Image and Stream tables.
#include <gtest/gtest.h>
#ifndef PICTRA_PORTABLE_CODECS
#include <openjpeg.h>
#endif

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "host/images.h"
#include "host/streams.h"
#include "host_support.h"

namespace pictra::host {
namespace {

using test::services;

std::vector<uint32_t> samplePixels(uint32_t width, uint32_t height) {
    std::vector<uint32_t> pixels(std::size_t{width} * height);
    for (uint32_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (i * 0x9E3779B9u) ^ (i << 7);  // every channel, every alpha
    return pixels;
}

struct Decoded {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool ok = false;
};

Decoded decodeByName(const char* name, bool memoryBlock) {
    const ImageTable& image = *services().image;
    const TagItem fileTags[] = {{DecodeTagTrueColour, 1}, {TagEnd, 0}};
    const TagItem memoryTags[] = {{DecodeTagTrueColour, 1}, {DecodeTagMemoryBlock, 0}, {TagEnd, 0}};
    Decoded result;
    HostImageHandle handle = image.DecodeImageFile(name, memoryBlock ? memoryTags : fileTags, &result.width,
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

Decoded decodeBytes(const std::vector<uint8_t>& bytes) { return decodeByName(nameBlock(bytes).c_str(), true); }

// Each codec set's PNG layout (the plain IEND) is codec_sets_test's.
using PngTest = test::ScratchTest;

// The memory output is the module's way (its pictures are FrameTest's and
// MemoryNameTest's); a file gets the same bytes.
TEST_F(PngTest, AFileGetsTheBytesOfAMemoryOutput) {
    const auto pixels = samplePixels(13, 7);
    const ImageTable& image = *services().image;
    const StreamTable& streams = *services().stream;
    char name[MemoryNameLength];
    StreamHandle output = streams.OpenMemoryOutput(name, MemoryNameLength, 0);
    ASSERT_NE(output, nullptr);
    ASSERT_NE(image.EncodePngFile(name, pixels.data(), 13, 7, 1, 0, 0), 0);
    uint32_t size = 0;
    const auto* bytes = static_cast<const uint8_t*>(streams.MemoryOutputBytes(output, &size, 0));
    const std::vector<uint8_t> inMemory(bytes, bytes + size);
    streams.CloseMemoryOutput(output);
    const std::string file = path("encode.png");
    ASSERT_NE(image.EncodePngFile(file.c_str(), pixels.data(), 13, 7, 1, 0, 0), 0);
    EXPECT_EQ(test::readFile(file), inMemory);
    const Decoded decoded = decodeByName(file.c_str(), false);
    EXPECT_EQ(std::make_tuple(decoded.width, decoded.height, decoded.pixels), std::make_tuple(13, 7, pixels));
    EXPECT_EQ(image.EncodePngFile(file.c_str(), pixels.data(), 0, 1, 1, 0, 0), 0);
    EXPECT_EQ(image.EncodePngFile(file.c_str(), nullptr, 2, 1, 1, 0, 0), 0);
    // A closed output's name is not a file path: nothing is written anywhere.
    const auto home = test::fs::current_path();
    test::fs::current_path(folder_);
    EXPECT_EQ(image.EncodePngFile(name, pixels.data(), 13, 7, 1, 0, 0), 0);
    test::fs::current_path(home);
    EXPECT_EQ(listing(), (std::vector<std::string>{"encode.png"}));
}

TEST(DecodeLimitsTest, OverLargeDeclaredSizesAreRefusedBeforeDecoding) {
    std::string error;
    EXPECT_FALSE(decodeImage(test::pngFile(4097, 1, 8, 6, {}), &error));
    EXPECT_NE(error.find("dimension"), std::string::npos) << error;
    // Caps are the caller's: a small picture over a tighter cap is refused.
    const auto pixels = samplePixels(64, 64);
    const std::vector<uint8_t> png = encodePng(pixels.data(), 64, 64);
    EXPECT_TRUE(decodeImage(png));
    EXPECT_FALSE(decodeImage(png, nullptr, DecodeLimits{32, uint64_t{1} << 20}));
    EXPECT_FALSE(decodeImage(png, &error, DecodeLimits{1024, 64 * 64 * 4 - 1}));
    EXPECT_NE(error.find("memory limit"), std::string::npos) << error;
    EXPECT_FALSE(decodeImage(png, &error, DecodeLimits{1024, 64 * 64 * 4, 64 * 64 * 4}));
    EXPECT_NE(error.find("memory budget"), std::string::npos) << error;

    // The host setting raises the caps of every decode.
    const auto wide = samplePixels(4100, 2);
    const std::vector<uint8_t> widePng = encodePng(wide.data(), 4100, 2);
    EXPECT_FALSE(decodeBytes(widePng).ok);
    const DecodeLimits before = decodeLimits();
    setDecodeLimits(DecodeLimits{8192, before.maxPixelBytes, before.maxDecodeBytes});
    const Decoded decoded = decodeBytes(widePng);
    setDecodeLimits(before);
    EXPECT_EQ(decoded.pixels, wide);
}

// How many names stay live is streams_test's.
TEST(MemoryNameTest, ANameResolvesOnceOnlyWithTheMemoryTagAndForgedNamesNever) {
    const auto pixels = samplePixels(4, 4);
    auto png = std::make_unique<std::vector<uint8_t>>(encodePng(pixels.data(), 4, 4));
    const std::string name = nameBlock(*png), forged = nameBlock(*png);
    ASSERT_FALSE(name.empty());
    ASSERT_FALSE(forged.empty());
    png.reset();  // the host copied the bytes
    // Without the memory tag a name is a file path, which does not exist.
    EXPECT_FALSE(decodeByName(name.c_str(), false).ok);
    EXPECT_EQ(decodeByName(name.c_str(), true).pixels, pixels);
    EXPECT_FALSE(decodeByName(name.c_str(), true).ok);  // one-shot

    // A made-up name of the same shape resolves to nothing.
    std::string changed = forged;
    changed.back() = changed.back() == 'g' ? 'n' : 'g';
    EXPECT_FALSE(decodeByName(changed.c_str(), true).ok);
    const std::string madeUp = "mem:0000000000000000:1.png";
    EXPECT_FALSE(decodeByName(madeUp.c_str(), true).ok);
    int32_t width = -5, height = -5;
    EXPECT_EQ(services().image->DecodeImageFile(madeUp.c_str(), nullptr, &width, &height, 0), nullptr);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(0, 0));
}

#ifdef PICTRA_PORTABLE_CODECS
TEST(Jpeg2000Test, RefusedCleanlyWithoutADecoder) {
    const std::vector<uint8_t> jp2 = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    std::string error;
    EXPECT_FALSE(decodeImage(jp2, &error));
    EXPECT_NE(error.find("JPEG 2000"), std::string::npos) << error;
    EXPECT_FALSE(decodeBytes(jp2).ok);
}

#else
using Jpeg2000Test = test::ScratchTest;

// Lossless JPEG 2000 of `components` planes of `precision` bits, made
// through the file at `path`.
std::vector<uint8_t> encodeJpeg2000(const std::string& path, bool jp2, uint32_t width, uint32_t height,
                                    const std::vector<std::vector<int32_t>>& planes,
                                    uint32_t precision, uint32_t dx = 1) {
    const auto components = static_cast<uint32_t>(planes.size());
    // dx, dy, w, h, x0, y0, prec, bpp, sgnd
    const opj_image_cmptparm_t plane{dx, 1, (width + dx - 1) / dx, height, 0, 0, precision, 0, 0};
    std::vector<opj_image_cmptparm_t> parameters(components, plane);
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

// 12-bit grey scaled to 8 bits (v * 255 / 4095, rounded) in a boxed file;
// 8-bit grey with alpha, RGB and RGBA, which are their own bytes. (Corpus
// RGBA files, as macOS icons hold them, are compared with Pillow's pixels
// in icns_interop_test.)
TEST_F(Jpeg2000Test, FilesDecodeExactly) {
    struct Case { bool jp2; std::vector<std::vector<int32_t>> planes; uint32_t width, height, precision;
                  std::vector<uint32_t> expected; };
    const Case cases[] = {
        {true, {{0, 4095, 2048, 16}}, 2, 2, 12, {0xFF000000, 0xFFFFFFFF, 0xFF808080, 0xFF010101}},
        {false, {{10, 200}, {255, 0}}, 1, 2, 8, {0xFF0A0A0A, 0x00C8C8C8}},
        {true, {{1, 255}, {2, 0}, {3, 128}}, 2, 1, 8, {0xFF010203, 0xFFFF0080}},
        {false, {{1, 255}, {2, 0}, {3, 128}, {0, 77}}, 1, 2, 8, {0x00010203, 0x4DFF0080}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = encodeJpeg2000(path("j"), c.jp2, c.width, c.height, c.planes, c.precision);
        ASSERT_FALSE(file.empty());
        const Decoded decoded = decodeBytes(file);
        EXPECT_EQ(std::make_tuple(decoded.width, decoded.height, decoded.pixels),
                  std::make_tuple(int32_t(c.width), int32_t(c.height), c.expected)) << c.planes.size();
    }
}

// A picture large enough to be decoded on several cores gives the same
// pixels on one.
TEST_F(Jpeg2000Test, APictureIsTheSameOnOneCoreOrMany) {
    const uint32_t side = 256;
    std::vector<std::vector<int32_t>> planes(3, std::vector<int32_t>(side * side));
    for (uint32_t i = 0; i < side * side; ++i)
        for (uint32_t c = 0; c < 3; ++c) planes[c][i] = int32_t((i % side * (c + 3) + i / side * (5 - c)) & 0xFF);
    const std::vector<uint8_t> file = encodeJpeg2000(path("large"), false, side, side, planes, 8);
    DecodeLimits oneCore = decodeLimits();
    oneCore.decodeCores = 1;
    const auto many = decodeImage(file);
    const auto one = decodeImage(file, nullptr, oneCore);
    ASSERT_TRUE(many && one);
    EXPECT_EQ(many->pixels, std::vector<uint32_t>(one->pixels.begin(), one->pixels.end()));
    EXPECT_EQ(one->pixels[2 * side + 1], 0xFF0D0C0Bu);  // x 1, y 2
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
    std::vector<uint32_t> expectFewer, expectMore;
    for (uint32_t v = 0; v < w * h * 17; v += 17) {
        expectFewer.push_back(0xFF000000u | (255 - v) * 0x010101u);
        expectMore.push_back(0xFF000000u | v << 16 | (255 - v) << 8 | v / 2);
    }
    EXPECT_EQ(decodeBytes(jp2WithPalette(rgba, w, h, 4, 1, inverted)).pixels, expectFewer);
    EXPECT_EQ(decodeBytes(jp2WithPalette(grey, w, h, 1, 3, coloured)).pixels, expectMore);
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
    std::vector<Case> all(std::begin(cases), std::end(cases));
    const std::vector<std::vector<int32_t>> planes(3, std::vector<int32_t>(4 * 2, 100));
    all.push_back({encodeJpeg2000(path("sub"), true, 8, 2, planes, 8, 2), {}, "subsampled"});
    for (const Case& c : all) {
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

#endif

}  // namespace
}  // namespace pictra::host
