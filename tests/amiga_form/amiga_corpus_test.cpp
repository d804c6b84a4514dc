// Every real Amiga icon through the real module: the pictures of its FORM
// ICON, the byte order of a real ARGB chunk, and round trips through the
// colour formats.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "host/compression.h"
#include "module_fixture.h"

namespace {

using pictra::test::be32;
using pictra::test::Bytes;
using pictra::test::LoadedIcon;
namespace fs = std::filesystem;

struct FormChunk {
    std::string id;
    std::size_t data;  // offset of its data in the file
    uint32_t size;
};

// The chunks of the file's FORM ICON, found without the classic layout.
std::vector<FormChunk> formChunks(const Bytes& file) {
    const std::string text(file.begin(), file.end());
    std::size_t form = text.find("FORM");
    while (form != std::string::npos && text.compare(form + 8, 4, "ICON") != 0) form = text.find("FORM", form + 1);
    std::vector<FormChunk> chunks;
    if (form == std::string::npos) return chunks;
    const std::size_t end = form + 8 + be32(file, form + 4);
    for (std::size_t at = form + 12; at + 8 <= end;) {
        chunks.push_back({text.substr(at, 4), at + 8, be32(file, at + 4)});
        at += 8 + chunks.back().size + (chunks.back().size & 1);
    }
    return chunks;
}

std::vector<fs::path> corpus(std::initializer_list<const char*> folders) {
    std::vector<fs::path> files;
    for (const char* folder : folders)
        for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_TEST_CORPUS) / "amiga" / folder))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

bool samePixels(const IconImage* a, const IconImage* b) {
    if (a->width != b->width || a->height != b->height || (a->depth == 32) != (b->depth == 32)) return false;
    const std::size_t count = static_cast<std::size_t>(a->width) * static_cast<std::size_t>(a->height);
    if (a->depth == 32) return std::memcmp(a->pixels, b->pixels, count * 4) == 0;
    // Palette pictures: the same pens, and the same colour for every pen used.
    const auto* pa = static_cast<const uint8_t*>(a->pixels);
    const auto* pb = static_cast<const uint8_t*>(b->pixels);
    for (std::size_t i = 0; i < count; ++i)
        if (pa[i] != pb[i] || a->palette[pa[i]] != b->palette[pb[i]]) return false;
    return true;
}

const IconImage* firstTrueColour(const LoadedIcon& icon) {
    for (const IconImage* image : icon.pictures())
        if (image->depth == 32 && image->width <= 256 && image->height <= 256) return image;
    return nullptr;
}

class AmigaCorpusTest : public pictra::test::ModuleFixture {};

TEST_F(AmigaCorpusTest, EveryFormIconLoadsWithAllItsPictures) {
    for (const fs::path& file : corpus({"os35", "os4"})) {
        SCOPED_TRACE(file.filename().string());
        const Bytes bytes = pictra::test::readFile(file);
        std::size_t imag = 0, argb = 0;
        for (const FormChunk& chunk : formChunks(bytes)) {
            imag += chunk.id == "IMAG";
            argb += chunk.id == "ARGB";
        }
        LoadedIcon loaded = load(file.string());
        ASSERT_TRUE(loaded.icon);
        const auto all = loaded.pictures();
        ASSERT_GE(all.size(), imag + argb);
        // The FORM's pictures come last: IMAG ones, then ARGB ones.
        for (std::size_t i = 0; i < imag + argb; ++i) {
            const IconImage* image = all[all.size() - imag - argb + i];
            EXPECT_EQ(image->depth == 32, i >= imag);
            EXPECT_EQ((image->flags & IconImageSelected) != 0, i != 0 && i != imag);
        }
        if (imag + argb) {
            EXPECT_EQ(all[all.size() - (argb ? argb : imag)]->flags & IconImagePrimary, 1u);
        }
    }
}

// On every machine the ARGB chunk holds the alpha byte first.
TEST_F(AmigaCorpusTest, RealArgbChunkReadsAlphaFirst) {
    const fs::path file = fs::path(PICTRA_TEST_CORPUS) / "amiga/os4/netsurf__Themes_AISS_NetSurf.info";
    const Bytes bytes = pictra::test::readFile(file);
    const auto chunks = formChunks(bytes);
    ASSERT_EQ(chunks.size(), 3u);
    Bytes raw(64 * 64 * 4);
    uint32_t length = static_cast<uint32_t>(raw.size());
    ASSERT_EQ(pictra::host::uncompressBlock(raw.data(), &length, bytes.data() + chunks[1].data + 10,
                                            be32(bytes, chunks[1].data + 4) + 1),
              0);
    LoadedIcon loaded = load(file.string());
    ASSERT_TRUE(loaded.icon);
    const IconImage* argb = firstTrueColour(loaded);
    ASSERT_NE(argb, nullptr);
    const auto* words = static_cast<const uint32_t*>(argb->pixels);
    int transparent = 0;
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        ASSERT_EQ(words[i], be32(raw, 4 * i)) << i;
        transparent += raw[4 * i] == 0;
    }
    EXPECT_GT(transparent, 100);  // the corners of a round icon
}

TEST_F(AmigaCorpusTest, RoundTripsKeepAttributesAndThePicturesTheFormatHolds) {
    struct Target {
        int format;
        int32_t compress;
    };
    const Target targets[] = {{pictra::test::AmigaOS35, 0}, {pictra::test::AmigaOS35, 1},
                              {pictra::test::AmigaOS40, 0}, {pictra::test::PngIcon, 0}};
    int saved[4] = {};
    for (const fs::path& file : corpus({"classic", "newicons", "os35", "os4", "png"})) {
        LoadedIcon original = load(file.string());
        ASSERT_TRUE(original.icon) << file;
        const IconImage* trueColour = firstTrueColour(original);
        for (int t = 0; t < 4; ++t) {
            const Target& target = targets[t];
            SCOPED_TRACE(file.filename().string() + " as format " + std::to_string(target.format) + " compress " +
                         std::to_string(target.compress));
            const std::string out = path("out.info");
            const int32_t result = save(out, original.icon->images, target.format, &original.attributes, target.compress);
            // Only the palette format can take an icon without a 32-bit picture.
            EXPECT_EQ(result, target.format == pictra::test::AmigaOS35 || trueColour ? 1 : 0);
            if (!result) continue;
            ++saved[t];
            LoadedIcon back = load(out);
            ASSERT_TRUE(back.icon);
            const IconAttributes& a = original.attributes;
            const IconAttributes& b = back.attributes;
            EXPECT_EQ(std::make_tuple(b.type, b.currentX, b.currentY, b.stackSize),
                      std::make_tuple(a.type ? a.type : 3, a.currentX, a.currentY, a.stackSize));
            EXPECT_EQ(std::string(b.defaultTool ? b.defaultTool : "-"), a.defaultTool ? a.defaultTool : "-");
            EXPECT_EQ(back.toolTypes(), original.toolTypes());
            if (target.format != pictra::test::PngIcon || a.type == 1 || a.type == 2 || a.type == 5) {
                EXPECT_EQ(b.drawerLeft, a.drawerLeft);
                EXPECT_EQ(b.drawerHeight, a.drawerHeight);
            }
            const auto pictures = back.pictures();
            if (target.format == pictra::test::AmigaOS35) {
                // Its normal IMAG picture is one of the original's palette
                // pictures, or a reduction of its 32-bit one.
                const IconImage* imag = pictures[pictures.size() - 1 - (pictures.back()->flags & IconImageSelected ? 1 : 0)];
                bool found = false;
                for (const IconImage* image : original.pictures()) found = found || samePixels(image, imag);
                EXPECT_TRUE(found || trueColour);
                continue;
            }
            // The formats of 32-bit pictures hold the first one unchanged.
            const IconImage* first = firstTrueColour(back);
            ASSERT_NE(first, nullptr);
            EXPECT_TRUE(samePixels(first, trueColour));
            const IconImage* partner = trueColour->next;
            if (partner && (partner->flags & IconImageSelected) && partner->depth == 32 &&
                partner->width == trueColour->width && partner->height == trueColour->height) {
                ASSERT_NE(first->next, nullptr);
                EXPECT_TRUE(samePixels(first->next, partner));
            }
        }
    }
    EXPECT_EQ(saved[0], 240);
    EXPECT_EQ(saved[2], 78);
}

}  // namespace
