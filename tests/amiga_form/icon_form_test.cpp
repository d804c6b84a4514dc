// The FORM ICON reader over hand-made chunks, and the FORM builder checked
// against the reader. Real FORMs (IMAG pairs sharing colours, ARGB pairs,
// which picture is primary) are in the corpus suite.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "amiga/amiga_fixture.h"
#include "amiga_form/icon_form.h"
#include "module_services.h"
#include "model/icon_image.h"

namespace {

using namespace pictra::test;
namespace host = pictra::host;

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

struct ImagFields {
    uint32_t pen = 0, colours = 4, flags = 2, imageFormat = 0, paletteFormat = 0, depth = 2;
    Bytes image, palette;
};

Bytes imag(const ImagFields& f) {
    return chunk("IMAG", ByteBuilder().u8(f.pen).u8(f.colours - 1).u8(f.flags).u8(f.imageFormat).u8(f.paletteFormat)
                             .u8(f.depth).be16(static_cast<uint32_t>(f.image.size()) - 1)
                             .be16(f.palette.empty() ? 0 : static_cast<uint32_t>(f.palette.size()) - 1)
                             .raw(f.image).raw(f.palette));
}

class FormTest : public ModuleServicesTest {
protected:
    void TearDown() override {
        release(read_);
        release(mine_);
        ModuleServicesTest::TearDown();
    }
    static void release(std::vector<IconImage*>& list) {
        for (IconImage* image : list) FreeIconImage(image);
        list.clear();
    }

    // Runs the reader over a FORM header, `data` (the chunks after "ICON")
    // and `after`, with `formEnd` (default: all of `data`) as the FORM's
    // bytes after "ICON".
    int32_t read(const Bytes& data, const Bytes& after = {}, int64_t formEnd = -1) {
        release(read_);
        const auto size = uint32_t(4 + (formEnd < 0 ? int64_t(data.size()) : formEnd));
        const Bytes file = concat(Bytes(ByteBuilder().text("FORM").be32(size).text("ICON")), data, after);
        writeFile(path("form"), file);
        StreamHandle stream = host::openStream(path("form").c_str(), StreamModeRead);
        EXPECT_NE(stream, nullptr);
        IconImage *head = nullptr, *tail = nullptr;
        AmigaReadState state{&head, &tail, {}, nullptr, nullptr};
        const int32_t result = ReadIconForm(stream, uint32_t(file.size()), &state);
        ReleaseScratch(&state.scratch);
        host::closeStream(stream);
        for (IconImage* image = head; image; image = image->next) read_.push_back(image);
        primary_ = state.primary;
        return result;
    }

    // A picture of the test's own, released at the end.
    IconImage* picture(int32_t width, int32_t height, int32_t depth, int32_t pen = -1, bool selected = false) {
        IconImage *head = nullptr, *tail = nullptr;
        mine_.push_back(AllocIconImage(nullptr, width, height, depth, pen, selected, &head, &tail));
        return mine_.back();
    }

    // The whole FORM as built, or empty when building failed.
    Bytes build(int32_t format, const IconImage* normal, const IconImage* selected, int32_t compress) {
        IconFormBytes form{};
        const int32_t built = BuildIconForm(&form, format, normal, selected, compress);
        EXPECT_EQ(built == 0, form.data == nullptr);
        Bytes bytes(form.data, form.data + (built ? form.size : 0));
        ReleaseIconForm(&form);
        return bytes;
    }

    // Checks the FORM header and reads the built FORM back.
    void readBack(const Bytes& form) {
        ASSERT_GE(form.size(), 12u) << "no FORM";
        EXPECT_EQ(std::string(form.begin(), form.begin() + 4) + std::string(form.begin() + 8, form.begin() + 12), "FORMICON");
        EXPECT_EQ(be32(form, 4), form.size() - 8);
        EXPECT_EQ(read(Bytes(form.begin() + 12, form.end())), 1);
    }

    bool sameAsRead(std::size_t i, const IconImage* mine, std::size_t colours) const {
        const std::size_t bytes = std::size_t(mine->width) * mine->height * (mine->depth == 32 ? 4 : 1);
        return i < read_.size() && std::memcmp(read_[i]->pixels, mine->pixels, bytes) == 0 &&
               (!colours || std::memcmp(read_[i]->palette, mine->palette, colours * 4) == 0);
    }

    std::vector<IconImage*> read_, mine_;
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

TEST_F(FormTest, PadBytesAndUnknownChunksAreSkippedAndTheWalkEndsWithTheForm) {
    // 10 + 9 + 12: an odd chunk with a pad byte.
    const Bytes chunks = concat(face(3, 3), chunk("ANNO", {'x', 'y', 'z'}), imag({0, 4, 2, 0, 0, 2, Bytes(9, 1), Bytes(12, 0x7F)}));
    // Stray bytes after the FORM are not chunks.
    for (const Bytes& after : {Bytes{}, Bytes{1}, Bytes{1, 2, 3}, Bytes{'I', 'M', 'A', 'G', 0xFF}}) {
        EXPECT_EQ(read(chunks, after), 1);
        ASSERT_EQ(read_.size(), 1u);
        EXPECT_EQ(read_[0]->palette[1], 0x7F7F7Fu);
    }
    // The last chunk may lack its pad byte; a FORM size beyond the file is
    // cut to the file; a FORM that ends before the IMAG holds only the FACE.
    EXPECT_EQ(read(Bytes(chunks.begin(), chunks.end() - 1)), 1);
    EXPECT_EQ(read(chunks, {}, 1 << 30), 1);
    EXPECT_EQ(read_.size(), 1u);
    EXPECT_EQ(read(chunks, {}, 14 + 11), 1);
    EXPECT_EQ(read_.size(), 0u);
    // A FORM that ends inside a chunk ends before it (its size counts the
    // type "ICON").
    EXPECT_EQ(read(chunks, {}, int64_t(chunks.size()) - 4), 1);
    EXPECT_EQ(read_.size(), 0u);
}

// A chunk whose own data are damaged is left out; the chunks around it load.
TEST_F(FormTest, ADamagedChunkIsLeftOutAndTheOthersLoad) {
    const ImagFields good{0, 4, 2, 0, 0, 2, Bytes(16, 1), Bytes(12, 9)};
    const Bytes before = concat(face(4, 4), imag(good));
    auto between = [&](const Bytes& damaged) { return concat(before, damaged, imag(good)); };
    auto changed = [&](std::size_t offset, int width, uint32_t value) {
        return between(withField(imag(good), 8 + offset, width, value, true));
    };
    const struct {
        const char* name;
        Bytes data;
        std::size_t pictures;
    } cases[] = {
        {"an IMAG before any FACE", concat(imag(good), before), 1},
        {"an ARGB before any FACE", concat(chunk("ARGB", Bytes(20, 0)), before), 1},
        {"depth 0", changed(5, 1, 0), 2},
        {"depth 9", changed(5, 1, 9), 2},
        {"image data beyond the chunk", changed(6, 2, 16), 2},
        {"palette data beyond the chunk", changed(8, 2, 12), 2},
        {"an unknown image format", changed(3, 1, 2), 2},
        {"an IMAG header cut short", between(chunk("IMAG", Bytes(9, 2))), 2},
        {"a first IMAG without colours", concat(face(4, 4), imag({0, 4, 0, 0, 0, 2, Bytes(16, 1), {}}), imag(good)), 1},
        {"a FACE of 5 bytes: no size for what follows", concat(chunk("FACE", Bytes(5, 1)), imag(good)), 0},
        {"an ARGB that does not inflate", between(chunk("ARGB", ByteBuilder().be32(1).be32(3).be16(0).be32(0x12345678))), 2},
        {"an ARGB without a stream", between(chunk("ARGB", ByteBuilder().be32(1).be32(0).be16(0))), 2},
        // The walk cannot go past a chunk larger than the FORM.
        {"a chunk larger than the FORM", concat(before, withField(imag(good), 4, 4, 1000, true)), 1},
        {"a chunk size of 4 GiB - 1", concat(before, withField(chunk("ANNO", {}), 4, 4, 0xFFFFFFFF, true)), 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.data), 1) << c.name;
        EXPECT_EQ(read_.size(), c.pictures) << c.name;
    }
    // The first good IMAG is the normal picture and the primary one.
    ASSERT_EQ(read(changed(5, 1, 0)), 1);
    EXPECT_EQ(std::make_tuple(read_[0]->flags, read_[1]->flags, primary_), std::make_tuple(0u, 2u, read_[0]));
}

// Some writers store the compressed size itself rather than one less, a
// byte beyond the chunk: the stream in the chunk still holds the picture.
// A stream that is really cut is left out.
TEST_F(FormTest, AnArgbSizeFieldBeyondTheChunkReadsTheStreamTheChunkHolds) {
    IconImage* argb = picture(7, 5, 32);
    std::mt19937 random(11);
    for (int i = 0; i < 35; ++i) static_cast<uint32_t*>(argb->pixels)[i] = random();
    const Bytes form = build(3, argb, nullptr, 0);
    ASSERT_FALSE(form.empty());
    const Bytes chunks(form.begin() + 12, form.end());
    constexpr std::size_t argbData = 14 + 8;  // after FACE and the ARGB chunk header
    const uint32_t stored = be32(chunks, argbData + 4);
    ASSERT_EQ(stored + 1, be32(chunks, 18) - 10);
    for (uint32_t field : {stored, stored + 1, stored + 1000, 0xFFFFFFFFu}) {
        ASSERT_EQ(read(withField(chunks, argbData + 4, 4, field, true)), 1) << field;
        ASSERT_EQ(read_.size(), 1u) << field;
        EXPECT_TRUE(sameAsRead(0, argb, 0)) << field;
    }
    // The chunk cut twelve bytes short (the stream's deflate data, not only
    // its checksum), its size and field saying so or not.
    Bytes cut(chunks.begin(), chunks.end() - 12 - (chunks.size() & 1));
    cut = withField(cut, 18, 4, uint32_t(cut.size() - 22), true);
    for (uint32_t field : {stored - 12, stored + 1}) {
        EXPECT_EQ(read(withField(cut, argbData + 4, 4, field, true)), 1) << field;
        EXPECT_EQ(read_.size(), 0u) << field;
    }
}

TEST_F(FormTest, DataCutShortLeavesTheMissingPixelsAndColoursZero) {
    // 3 of 16 pixels, 1 colour and a third; packed: a literal block of 4
    // values cut after 2.
    const ImagFields raw{0, 4, 2, 0, 0, 2, {1, 2, 3}, {0xFF, 0xFF, 0xFF, 0x80}};
    const ImagFields packed{0, 4, 2, 1, 0, 4, {0x03, 0x12}, {0xFF, 0xFF, 0xFF, 0x80}};
    for (const ImagFields& fields : {raw, packed}) {
        ASSERT_EQ(read(concat(face(4, 4), imag(fields))), 1);
        const auto* pens = static_cast<const uint8_t*>(read_[0]->pixels);
        EXPECT_EQ(std::make_tuple(pens[0], pens[1], pens[15], read_[0]->palette[0], read_[0]->palette[1]),
                  std::make_tuple(1, 2, 0, 0xFFFFFFu, 0x800000u));
    }
}

TEST_F(FormTest, ImagAndArgbTogetherMakeTheFirstArgbPicturePrimary) {
    IconImage* palette = picture(8, 8, 2);
    fillPens(palette, 3, 4);
    IconImage* argb = picture(8, 8, 32);
    const Bytes imagForm = build(2, palette, nullptr, 0), argbForm = build(3, argb, argb, 0);
    // The IMAG FORM's chunks, then the ARGB FORM's without its FACE.
    ASSERT_EQ(read(concat(Bytes(imagForm.begin() + 12, imagForm.end()), Bytes(argbForm.begin() + 26, argbForm.end()))), 1);
    ASSERT_EQ(read_.size(), 3u);
    EXPECT_EQ(std::make_tuple(read_[1]->depth, read_[1]->flags, read_[2]->flags), std::make_tuple(32, 0u, 2u));
    EXPECT_EQ(primary_, read_[1]);
}

// The exact bytes built are pinned by the output identity suite on little-
// and big-endian machines; here the reader gives back what the builder had.
// Palettes and pens come back as given; the selected picture's colours are
// written when they differ or it is deeper, a depth rises to hold pens above
// it, and a partner of another size or kind is left out.
TEST_F(FormTest, BuiltPicturesReadBackAsGivenOrAreRefused) {
    IconImage *four = picture(46, 46, 4, 0), *two = picture(46, 46, 2, -1, true), *normalTwo = picture(46, 46, 2);
    IconImage *deeper = picture(46, 46, 4, -1, true), *loose = picture(46, 46, 1), *noise = picture(46, 46, 8);
    fillPens(four, 5, 16), fillPens(two, 6, 4), fillPens(normalTwo, 8, 4), fillPens(deeper, 9, 16), fillPens(loose, 10, 64);
    std::memcpy(deeper->palette, normalTwo->palette, 1024);
    // 3 x 3: an odd number of pixels. Noise does not compress; the chunks
    // still get the room they need.
    IconImage *odd = picture(3, 3, 32), *oddSelected = picture(3, 3, 32, -1, true), *large = picture(256, 256, 32);
    IconImage *largeSelected = picture(256, 256, 32, -1, true), *small = picture(4, 4, 3), *argb = picture(4, 4, 32);
    std::mt19937 random(7);
    for (int i = 0; i < 46 * 46; ++i) static_cast<uint8_t*>(noise->pixels)[i] = static_cast<uint8_t>(random());
    for (IconImage* image : {odd, oddSelected, large, largeSelected})
        for (int i = 0; i < image->width * image->height; ++i) static_cast<uint32_t*>(image->pixels)[i] = random();
    using Read = std::tuple<int32_t, int32_t, std::size_t>;  // depth, transparent pen, colours compared
    const struct {
        const char* name;
        int32_t format;
        IconImage *normal, *selected;
        std::vector<Read> read;  // none: the build fails
    } cases[] = {
        {"palettes differ", 2, four, two, {{4, 0, 16}, {2, -1, 4}}},
        {"equal palettes, selected deeper", 2, normalTwo, deeper, {{2, -1, 4}, {4, -1, 16}}},
        {"equal palettes and depths", 2, normalTwo, normalTwo, {{2, -1, 4}, {2, -1, 4}}},
        {"pens above the depth", 2, loose, nullptr, {{6, -1, 64}}},
        {"8-bit noise", 2, noise, nullptr, {{8, -1, 256}}},
        {"true colour, odd size", 3, odd, oddSelected, {{32, -1, 0}, {32, -1, 0}}},
        {"true colour, 256 x 256", 3, large, largeSelected, {{32, -1, 0}, {32, -1, 0}}},
        {"a partner of another size", 3, argb, picture(5, 4, 32, -1, true), {{32, -1, 0}}},
        {"a partner of another kind", 2, small, argb, {{3, -1, 8}}},
        {"257 wide", 3, picture(257, 4, 32), nullptr, {}},
        {"a palette picture as ARGB", 3, small, nullptr, {}},
        {"a 32-bit picture as IMAG", 2, argb, nullptr, {}},
        {"no such layout", 4, argb, nullptr, {}},
    };
    for (const auto& c : cases)
        for (int32_t compress : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (compress ? " packed" : ""));
            const Bytes form = build(c.format, c.normal, c.selected, compress);
            if (c.read.empty()) {
                EXPECT_TRUE(form.empty());
                continue;
            }
            readBack(form);
            ASSERT_EQ(read_.size(), c.read.size());
            for (std::size_t i = 0; i < read_.size(); ++i) {
                const auto [depth, pen, colours] = c.read[i];
                EXPECT_EQ(std::make_tuple(read_[i]->depth, read_[i]->transparentPen), std::make_tuple(depth, pen));
                EXPECT_TRUE(sameAsRead(i, i ? c.selected : c.normal, colours));
            }
        }
}

}  // namespace
