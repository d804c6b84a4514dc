// The FORM ICON of every real Amiga icon through the real module: all its
// pictures, and the byte order of a real ARGB chunk. Round trips of the
// corpus through every Amiga format are in the Amiga suite.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "amiga/amiga_fixture.h"
#include "host/compression.h"

namespace {

using namespace pictra::test;

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
    for (std::size_t at = form + 12; at + 8 <= end; at += 8 + chunks.back().size + (chunks.back().size & 1))
        chunks.push_back({text.substr(at, 4), at + 8, be32(file, at + 4)});
    return chunks;
}

class AmigaFormCorpusTest : public AmigaModuleTest {};

TEST_F(AmigaFormCorpusTest, EveryFormIconLoadsWithAllItsPictures) {
    for (const fs::path& file : amigaCorpus({"os35", "os4"})) {
        SCOPED_TRACE(file.filename().string());
        std::size_t imag = 0, argb = 0;
        for (const FormChunk& chunk : formChunks(readFile(file))) {
            imag += chunk.id == "IMAG";
            argb += chunk.id == "ARGB";
        }
        const LoadedIcon loaded = load(file.string());
        ASSERT_TRUE(loaded.icon);
        const auto all = loaded.pictures();
        ASSERT_GE(all.size(), imag + argb);
        // The FORM's pictures come last: IMAG ones, then ARGB ones; the
        // first of the last kind is primary.
        for (std::size_t i = 0; i < imag + argb; ++i) {
            const IconImage* image = all[all.size() - imag - argb + i];
            EXPECT_EQ(image->depth == 32, i >= imag);
            EXPECT_EQ((image->flags & IconImageSelected) != 0, i != 0 && i != imag);
            EXPECT_EQ(image->flags & IconImagePrimary, i == (argb ? imag : 0) ? 1u : 0u);
        }
    }
}

// On every machine the ARGB chunk holds the alpha byte first.
TEST_F(AmigaFormCorpusTest, RealArgbChunkReadsAlphaFirst) {
    const fs::path file = fs::path(PICTRA_TEST_CORPUS) / "amiga/os4/netsurf__Themes_AISS_NetSurf.info";
    const Bytes bytes = readFile(file);
    const auto chunks = formChunks(bytes);
    ASSERT_EQ(chunks.size(), 3u);
    Bytes raw(64 * 64 * 4);
    uint32_t length = static_cast<uint32_t>(raw.size());
    ASSERT_EQ(pictra::host::uncompressBlock(raw.data(), &length, bytes.data() + chunks[1].data + 10,
                                            be32(bytes, chunks[1].data + 4) + 1), 0);
    const LoadedIcon loaded = load(file.string());
    ASSERT_TRUE(loaded.icon);
    const auto all = loaded.pictures();
    const auto argb = std::find_if(all.begin(), all.end(), [](const IconImage* p) { return p->depth == 32; });
    ASSERT_NE(argb, all.end());
    const auto* words = static_cast<const uint32_t*>((*argb)->pixels);
    int transparent = 0;
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        ASSERT_EQ(words[i], be32(raw, 4 * i)) << i;
        transparent += raw[4 * i] == 0;
    }
    EXPECT_GT(transparent, 100);  // the corners of a round icon
}

}  // namespace
