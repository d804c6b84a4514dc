// The FORM ICON reader over hand-made chunks and the FORM builder's bytes,
// each checked against the layout and against the other.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "amiga_form/icon_form.h"
#include "byte_builder.h"
#include "frame/host.h"
#include "host/compression.h"
#include "host/services.h"
#include "host/streams.h"
#include "model/icon_image.h"
#include "module_fixture.h"

namespace {

using pictra::test::be32;
using pictra::test::ByteBuilder;
using pictra::test::concat;
using pictra::test::Bytes;
namespace host = pictra::host;

struct Chunk {
    std::string id;
    Bytes data;
};

// A chunk with its pad byte when the data size is odd.
Bytes chunk(const std::string& id, const Bytes& data) {
    ByteBuilder b;
    b.text(id).be32(static_cast<uint32_t>(data.size())).raw(data);
    if (data.size() & 1) b.u8(0);
    return b;
}

Bytes face(uint32_t width, uint32_t height) {
    return chunk("FACE", ByteBuilder().u8(width - 1).u8(height - 1).u8(0).u8(0).be16(47));
}

Bytes withSize(const Bytes& chunkBytes, uint32_t size) {
    return pictra::test::withField(chunkBytes, 4, 4, size, true);
}

struct ImagFields {
    uint32_t pen = 0, colours = 4, flags = 2, imageFormat = 0, paletteFormat = 0, depth = 2;
    Bytes image;
    Bytes palette;
};

Bytes imagData(const ImagFields& f) {
    return ByteBuilder()
        .u8(f.pen)
        .u8(f.colours - 1)
        .u8(f.flags)
        .u8(f.imageFormat)
        .u8(f.paletteFormat)
        .u8(f.depth)
        .be16(static_cast<uint32_t>(f.image.size()) - 1)
        .be16(f.palette.empty() ? 0 : static_cast<uint32_t>(f.palette.size()) - 1)
        .raw(f.image)
        .raw(f.palette);
}

// The chunks of a FORM's data (after "ICON").
std::vector<Chunk> chunksOf(const Bytes& data) {
    std::vector<Chunk> chunks;
    std::size_t at = 0;
    for (uint32_t size = 0; at + 8 <= data.size(); at += 8 + size + (size & 1)) {
        size = be32(data, at + 4);
        const auto from = data.begin() + static_cast<std::ptrdiff_t>(at);
        chunks.push_back({std::string(from, from + 4), Bytes(from + 8, from + 8 + size)});
    }
    EXPECT_EQ(at, data.size());
    return chunks;
}

class FormTest : public pictra::test::LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        static HostServices services = host::makeHostServices();
        Host = &services;
    }
    void TearDown() override {
        release(read_);
        release(mine_);
        LeakCheckedTest::TearDown();
    }

    struct List {
        IconImage* head = nullptr;
        IconImage* tail = nullptr;
    };
    static void release(List& list) {
        while (list.head) {
            IconImage* next = list.head->next;
            FreeIconImage(list.head);
            list.head = next;
        }
        list.tail = nullptr;
    }

    // Runs the reader over `data` (the chunks after "ICON") followed by
    // `after`, with `formEnd` (default: all of `data`) as the FORM's bytes.
    int32_t read(const Bytes& data, const Bytes& after = {}, int64_t formEnd = -1) {
        release(read_);
        Bytes file = data;
        file.insert(file.end(), after.begin(), after.end());
        pictra::test::writeFile(path("form"), file);
        StreamHandle stream = host::openStream(path("form").c_str(), StreamModeRead);
        EXPECT_NE(stream, nullptr);
        AmigaReadState state{&read_.head, &read_.tail, nullptr, 0, nullptr};
        IconRecord record{};
        const auto end = static_cast<uint32_t>(formEnd < 0 ? static_cast<int64_t>(data.size()) : formEnd);
        const int32_t result = ReadIconForm(stream, end, &record, &state);
        if (state.scratch) FreeMemory(state.scratch);
        host::closeStream(stream);
        primary_ = state.primary;
        return result;
    }

    std::vector<IconImage*> pictures() const {
        std::vector<IconImage*> all;
        for (IconImage* image = read_.head; image; image = image->next) all.push_back(image);
        return all;
    }

    // A picture of the test's own, released at the end.
    IconImage* picture(int32_t width, int32_t height, int32_t depth, int32_t pen = -1, bool selected = false) {
        IconImage* image = AllocIconImage(width, height, depth, pen, selected, &mine_.head, &mine_.tail);
        EXPECT_NE(image, nullptr);
        return image;
    }

    // The whole FORM as built, or empty when building failed.
    Bytes build(int32_t format, const IconImage* normal, const IconImage* selected, int32_t compress) {
        IconFormBytes form{};
        if (!BuildIconForm(&form, format, normal, selected, compress)) {
            EXPECT_EQ(form.data, nullptr);
            return {};
        }
        Bytes bytes(form.data, form.data + form.size);
        ReleaseIconForm(&form);
        EXPECT_EQ(form.data, nullptr);
        return bytes;
    }

    // Checks the FORM header and reads the built FORM back.
    std::vector<Chunk> readBack(const Bytes& form) {
        EXPECT_GE(form.size(), 12u);
        if (form.size() < 12) return {};
        EXPECT_EQ(std::string(form.begin(), form.begin() + 4), "FORM");
        EXPECT_EQ(be32(form, 4), form.size() - 8);
        EXPECT_EQ(std::string(form.begin() + 8, form.begin() + 12), "ICON");
        const Bytes data(form.begin() + 12, form.end());
        EXPECT_EQ(read(data), 1);
        return chunksOf(data);
    }

    List read_;
    List mine_;
    IconImage* primary_ = nullptr;
};

void fillPens(IconImage* image, uint32_t seed, uint32_t limit) {
    std::mt19937 random(seed);
    auto* pens = static_cast<uint8_t*>(image->pixels);
    // Runs and noise, so packing has something to find.
    for (int i = 0; i < image->width * image->height;) {
        const auto pen = static_cast<uint8_t>(random() % limit);
        for (int n = random() % 4 == 0 ? 20 : 1; n > 0 && i < image->width * image->height; --n) pens[i++] = pen;
    }
    // Two colours of their own, the rest one grey: palettes differ between
    // seeds and still pack.
    for (uint32_t k = 0; k < 256; ++k) image->palette[k] = k < 2 ? (random() & 0xFFFFFF) : (seed * 0x010101u) & 0xFFFFFF;
}

TEST_F(FormTest, TwoImagPicturesShareTheFirstOnesColours) {
    ImagFields normal;
    normal.depth = 4;
    normal.colours = 3;
    normal.image = Bytes(48 * 48, 2);
    normal.palette = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xAA, 0xBB, 0xCC};
    ImagFields selected = normal;
    selected.flags = 1;  // transparent pen valid, no palette
    selected.pen = 1;
    selected.palette = {};
    selected.image = Bytes(48 * 48, 1);
    ASSERT_EQ(read(concat(face(48, 48), chunk("IMAG", imagData(normal)), chunk("IMAG", imagData(selected)))), 1);

    const auto all = pictures();
    ASSERT_EQ(all.size(), 2u);
    for (const IconImage* image : all) {
        EXPECT_EQ(image->width, 48);
        EXPECT_EQ(image->depth, 4);
        EXPECT_EQ(std::vector<uint32_t>(image->palette, image->palette + 4),
                  (std::vector<uint32_t>{0x102030, 0x405060, 0xAABBCC, 0}));
    }
    EXPECT_EQ(all[1]->flags, static_cast<uint32_t>(IconImageSelected));
    EXPECT_EQ(all[0]->transparentPen, -1);
    EXPECT_EQ(all[1]->transparentPen, 1);
    EXPECT_EQ(static_cast<uint8_t*>(all[1]->pixels)[100], 1);
    EXPECT_EQ(primary_, all[0]);
}

TEST_F(FormTest, PadBytesAndUnknownChunksAreSkippedAndTheWalkEndsWithTheForm) {
    ImagFields odd;
    odd.image = Bytes(3 * 3, 1);  // 10 + 9 + 12: an odd chunk with a pad byte
    odd.palette = Bytes(12, 0x7F);
    const Bytes chunks = concat(face(3, 3), chunk("ANNO", {'x', 'y', 'z'}), chunk("IMAG", imagData(odd)));
    // Stray bytes after the FORM are not chunks.
    for (const Bytes& after : {Bytes{}, Bytes{1}, Bytes{1, 2, 3}, Bytes{'I', 'M', 'A', 'G', 0xFF}}) {
        EXPECT_EQ(read(chunks, after), 1);
        ASSERT_EQ(pictures().size(), 1u);
        EXPECT_EQ(pictures()[0]->palette[1], 0x7F7F7Fu);
    }
    // The last chunk may lack its pad byte; a FORM size beyond the file is
    // cut to the file.
    EXPECT_EQ(read(Bytes(chunks.begin(), chunks.end() - 1)), 1);
    EXPECT_EQ(read(chunks, {}, 1 << 30), 1);
    EXPECT_EQ(pictures().size(), 1u);
    // A FORM that ends before the IMAG holds only the FACE.
    EXPECT_EQ(read(chunks, {}, 14 + 11), 1);
    EXPECT_EQ(pictures().size(), 0u);
}

TEST_F(FormTest, MalformedChunksFailTheLoad) {
    ImagFields good;
    good.image = Bytes(16, 1);
    good.palette = Bytes(12, 9);
    const Bytes goodImag = imagData(good);
    auto imag = [&](std::size_t offset, int width, uint32_t value) {
        return chunk("IMAG", pictra::test::withField(goodImag, offset, width, value, true));
    };
    ImagFields noPalette = good;
    noPalette.flags = 0;
    noPalette.palette = {};
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case cases[] = {
        {"an IMAG before any FACE", chunk("IMAG", goodImag)},
        {"an ARGB before any FACE", chunk("ARGB", Bytes(20, 0))},
        {"depth 0", concat(face(4, 4), imag(5, 1, 0))},
        {"depth 9", concat(face(4, 4), imag(5, 1, 9))},
        {"image data beyond the chunk", concat(face(4, 4), imag(6, 2, 16))},
        {"palette data beyond the chunk", concat(face(4, 4), imag(8, 2, 12))},
        {"an unknown image format", concat(face(4, 4), imag(3, 1, 2))},
        {"a first IMAG without colours", concat(face(4, 4), chunk("IMAG", imagData(noPalette)))},
        {"a chunk larger than the FORM", concat(face(4, 4), withSize(chunk("IMAG", goodImag), 1000))},
        {"a chunk size of 4 GiB - 1", concat(face(4, 4), withSize(chunk("ANNO", {}), 0xFFFFFFFF))},
        {"a FACE of 5 bytes", chunk("FACE", Bytes(5, 1))},
        {"an ARGB length beyond the chunk", concat(face(4, 4), chunk("ARGB", ByteBuilder().be32(1).be32(10).be16(0).zeros(10)))},
        {"an ARGB that does not inflate", concat(face(4, 4), chunk("ARGB", ByteBuilder().be32(1).be32(3).be16(0).be32(0x12345678)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(c.data), 0);
    }
    // The same FORM with the good chunk loads.
    EXPECT_EQ(read(concat(face(4, 4), chunk("IMAG", goodImag))), 1);
}

TEST_F(FormTest, DataCutShortLeavesTheMissingPixelsAndColoursZero) {
    ImagFields raw;
    raw.image = {1, 2, 3};  // 3 of 16 pixels
    raw.colours = 4;
    raw.palette = {0xFF, 0xFF, 0xFF, 0x80};  // 1 colour and a third
    ImagFields packed = raw;
    packed.imageFormat = 1;
    packed.depth = 4;
    packed.image = {0x03, 0x12};  // a literal block of 4 values cut after 2
    for (const ImagFields& fields : {raw, packed}) {
        ASSERT_EQ(read(concat(face(4, 4), chunk("IMAG", imagData(fields)))), 1);
        const auto* pens = static_cast<const uint8_t*>(pictures()[0]->pixels);
        EXPECT_EQ(pens[0], 1);
        EXPECT_EQ(pens[1], 2);
        EXPECT_EQ(pens[15], 0);
        EXPECT_EQ(pictures()[0]->palette[0], 0xFFFFFFu);
        EXPECT_EQ(pictures()[0]->palette[1], 0x800000u);
    }
}

TEST_F(FormTest, ImagAndArgbTogetherMakeTheFirstArgbPicturePrimary) {
    IconImage* palette = picture(8, 8, 2);
    fillPens(palette, 3, 4);
    IconImage* argb = picture(8, 8, 32);
    const Bytes imag = build(2, palette, nullptr, 0);
    const Bytes argbForm = build(3, argb, argb, 0);
    Bytes data(imag.begin() + 12, imag.end());
    data.insert(data.end(), argbForm.begin() + 12 + 14, argbForm.end());  // its ARGB chunks, not its FACE
    ASSERT_EQ(read(data), 1);
    const auto all = pictures();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1]->depth, 32);
    EXPECT_EQ(all[1]->flags, 0u);
    EXPECT_EQ(all[2]->flags, static_cast<uint32_t>(IconImageSelected));
    EXPECT_EQ(primary_, all[1]);
}

TEST_F(FormTest, TrueColourFormsHoldAlphaFirstBytesAndNoiseStillSaves) {
    IconImage* normal = picture(64, 64, 32);
    auto* words = static_cast<uint32_t*>(normal->pixels);
    for (int i = 0; i < 64 * 64; ++i) words[i] = i % 3 ? 0x80FF2010u : 0x11223344u;
    const Bytes form = build(3, normal, nullptr, 0);
    const auto chunks = readBack(form);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].id, "FACE");
    EXPECT_EQ(chunks[0].data, (Bytes{0x3F, 0x3F, 0x02, 0x00, 0x00, 0x01}));
    const Bytes& argb = chunks[1].data;
    EXPECT_EQ(chunks[1].id, "ARGB");
    EXPECT_EQ(be32(argb, 0), 1u);
    EXPECT_EQ(be32(argb, 4) + 1, argb.size() - 10);
    EXPECT_EQ(argb[8], 0);
    EXPECT_EQ(argb[9], 0);
    // The zlib stream holds A, R, G, B for each pixel whatever the machine.
    Bytes raw(64 * 64 * 4);
    uint32_t length = static_cast<uint32_t>(raw.size());
    ASSERT_EQ(host::uncompressBlock(raw.data(), &length, argb.data() + 10, be32(argb, 4) + 1), 0);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 8), (Bytes{0x11, 0x22, 0x33, 0x44, 0x80, 0xFF, 0x20, 0x10}));
    ASSERT_EQ(pictures().size(), 1u);
    EXPECT_EQ(std::memcmp(pictures()[0]->pixels, words, 64 * 64 * 4), 0);
    // An odd number of pixels: the last one alone.
    IconImage* odd = picture(3, 3, 32);
    for (int i = 0; i < 9; ++i) static_cast<uint32_t*>(odd->pixels)[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    readBack(build(3, odd, nullptr, 0));
    ASSERT_EQ(pictures().size(), 1u);
    EXPECT_EQ(std::memcmp(pictures()[0]->pixels, odd->pixels, 9 * 4), 0);

    // Noise does not compress; the chunk still gets the room it needs.
    IconImage* noisy = picture(256, 256, 32);
    IconImage* selected = picture(256, 256, 32, -1, true);
    std::mt19937 random(99);
    for (IconImage* image : {noisy, selected})
        for (int i = 0; i < 256 * 256; ++i) static_cast<uint32_t*>(image->pixels)[i] = random();
    const Bytes noise = build(3, noisy, selected, 0);
    ASSERT_FALSE(noise.empty());
    EXPECT_GT(noise.size(), 2u * 256 * 256 * 4);  // it did not compress
    readBack(noise);
    ASSERT_EQ(pictures().size(), 2u);
    EXPECT_EQ(std::memcmp(pictures()[0]->pixels, noisy->pixels, 256 * 256 * 4), 0);
    EXPECT_EQ(std::memcmp(pictures()[1]->pixels, selected->pixels, 256 * 256 * 4), 0);
}

TEST_F(FormTest, PalettePicturesRoundTripWithAndWithoutPacking) {
    IconImage* normal = picture(46, 46, 4, 0);
    IconImage* selected = picture(46, 46, 2, -1, true);
    fillPens(normal, 5, 16);
    fillPens(selected, 6, 4);
    for (int32_t compress : {0, 1}) {
        SCOPED_TRACE(compress);
        const auto chunks = readBack(build(2, normal, selected, compress));
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(chunks[0].data[4] << 8 | chunks[0].data[5], 47);  // 16 colours x 3 - 1
        for (std::size_t k = 1; k < 3; ++k) {
            const Bytes& imag = chunks[k].data;
            EXPECT_EQ(imag[3], compress);  // image format
            EXPECT_EQ(imag[4], compress);  // palette format
        }
        EXPECT_EQ(chunks[2].data[1], 3);  // 4 colours
        EXPECT_EQ(chunks[2].data[2], 2);  // palettes differ: written, no transparent pen
        const auto all = pictures();
        ASSERT_EQ(all.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const IconImage* mine = i ? selected : normal;
            EXPECT_EQ(std::memcmp(all[i]->pixels, mine->pixels, 46 * 46), 0);
            EXPECT_EQ(std::memcmp(all[i]->palette, mine->palette, (4u << (2 * (1 - i))) * 4), 0);
            EXPECT_EQ(all[i]->depth, mine->depth);
            EXPECT_EQ(all[i]->transparentPen, mine->transparentPen);
        }
    }
    // Noise of 8-bit pens does not pack: its IMAG stays raw even with
    // packing asked for.
    IconImage* noise = picture(46, 46, 8);
    std::mt19937 random(7);
    for (int i = 0; i < 46 * 46; ++i) static_cast<uint8_t*>(noise->pixels)[i] = static_cast<uint8_t>(random());
    const auto chunks = readBack(build(2, noise, nullptr, 1));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].data[3], 0);
}

TEST_F(FormTest, ColoursAndDepthsCoverEveryPenThatIsUsed) {
    // Equal palettes, but the selected picture is deeper than the normal one:
    // its palette goes in, or pens 4 and up would read back black.
    IconImage* normal = picture(10, 10, 2);
    IconImage* selected = picture(10, 10, 4, -1, true);
    fillPens(normal, 8, 4);
    fillPens(selected, 9, 16);
    std::memcpy(selected->palette, normal->palette, 1024);
    // Pens above the stated depth: the depth written rises to hold them.
    IconImage* loose = picture(10, 10, 1);
    fillPens(loose, 10, 64);

    auto chunks = readBack(build(2, normal, selected, 1));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[2].data[2], 2);
    ASSERT_EQ(pictures().size(), 2u);
    EXPECT_EQ(std::memcmp(pictures()[1]->palette, selected->palette, 16 * 4), 0);
    // Equal palettes and depths: the selected IMAG carries none.
    chunks = readBack(build(2, normal, normal, 0));
    EXPECT_EQ(chunks[2].data[2], 0);

    for (int32_t compress : {0, 1}) {
        chunks = readBack(build(2, loose, nullptr, compress));
        ASSERT_EQ(pictures().size(), 1u);
        EXPECT_EQ(pictures()[0]->depth, 6);
        EXPECT_EQ(std::memcmp(pictures()[0]->pixels, loose->pixels, 100), 0);
        EXPECT_EQ(std::memcmp(pictures()[0]->palette, loose->palette, 64 * 4), 0);
    }
}

TEST_F(FormTest, PicturesTheFormCannotHoldAreRefusedOrLeftOut) {
    IconImage* big = picture(257, 4, 32);
    IconImage* palette = picture(4, 4, 3);
    IconImage* argb = picture(4, 4, 32);
    IconImage* otherSize = picture(5, 4, 32, -1, true);
    EXPECT_TRUE(build(3, big, nullptr, 0).empty());
    EXPECT_TRUE(build(3, palette, nullptr, 0).empty());
    EXPECT_TRUE(build(2, argb, nullptr, 0).empty());
    EXPECT_TRUE(build(4, argb, nullptr, 0).empty());
    // A partner of another size or kind is left out.
    EXPECT_EQ(readBack(build(3, argb, otherSize, 0)).size(), 2u);
    EXPECT_EQ(readBack(build(2, palette, argb, 0)).size(), 2u);
    // Memory that cannot be had fails the build and leaves nothing behind.
    for (const char* tag : {"rlebuf", "pbuf"}) {
        host::failAllocationsTagged(tag);
        EXPECT_TRUE(build(3, argb, nullptr, 0).empty()) << tag;
        host::clearAllocationFaults();
    }
}

}  // namespace
