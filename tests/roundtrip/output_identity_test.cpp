// Every format's writer, fed a fixed set of pictures (built here, and loaded
// from corpus icons), with and without the compress switch: the SHA-256 of
// each file saved must be the value recorded in golden/<FORMAT>.sha256, on
// every machine, little- or big-endian, 32- or 64-bit. A writer that refuses
// a set is recorded as refusing it, and a corpus icon that does not load as
// such. When a writer changes on purpose, PICTRA_UPDATE_GOLDEN=<FORMAT>[,...]
// (or =all) rewrites those formats' files instead of comparing.
//
// Icons made from artwork as `pictra create` makes them (the art closest
// above each size, resampled by the host) are recorded the same way, in
// golden/created.sha256 (=created): the digest of every picture's pixels,
// which no codec touches, and of each file saved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/icon_art.h"
#include "host/resample.h"
#include "icon_pictures.h"
#include "resample_reference.h"
#include "roundtrip/sha256.h"

namespace {

using pictra::test::Bytes;
namespace host = pictra::host;

struct PictureSpec {
    int32_t width, height, depth;
    uint32_t flags;
    int32_t transparentPen;
    uint32_t seed;
};
struct SetSpec {
    const char* name;
    std::vector<PictureSpec> pictures;
    bool drawer;  // else a tool
};
const SetSpec kBuiltSets[] = {
    {"palette-2-selected", {{16, 16, 2, 0, 0, 1}, {16, 16, 2, 2, 0, 2}}, false},
    {"palette-8", {{32, 32, 8, 0, 0, 3}}, false},
    {"palette-4-no-pen", {{48, 48, 4, 0, -1, 4}}, true},
    {"argb-32-selected", {{32, 32, 32, 0, -1, 5}, {32, 32, 32, 2, -1, 6}}, false},
    {"mixed-sizes", {{16, 16, 32, 0, -1, 16}, {32, 32, 32, 0, -1, 32}, {48, 48, 32, 0, -1, 48},
                     {128, 128, 32, 0, -1, 128}, {32, 32, 8, 0, 0, 7}, {16, 16, 1, 0, -1, 8}}, true},
    {"argb-256", {{256, 256, 32, 0, -1, 9}}, false},
    // 1-bit pictures of the "#" sizes, one beside an 8-bit picture of its size.
    {"one-bit", {{16, 16, 1, 0, -1, 21}, {32, 32, 1, 0, 0, 22}, {16, 12, 1, 0, 1, 23}, {48, 48, 1, 0, -1, 24},
                 {48, 48, 8, 0, 0, 25}}, false},
};

// A picture list built in code, and the attributes saved with it.
struct BuiltSet {
    pictra::test::PictureList list;
    IconAttributes attributes{};
    std::vector<std::string> texts = {"FILETYPE=TEXT|ICON", "DONOTWAIT", "", "PRI=-1"};
    std::vector<char*> toolTypes;

    explicit BuiltSet(const SetSpec& spec) {
        for (const PictureSpec& p : spec.pictures) {
            IconImage* image = list.add(p.width, p.height, p.depth, p.transparentPen);
            image->flags = p.flags;
            for (std::size_t i = 0; i < std::size_t(p.width) * std::size_t(p.height); ++i) {
                const uint32_t x = uint32_t(i % std::size_t(p.width)), y = uint32_t(i / std::size_t(p.width));
                const uint32_t alpha = (x + y) % 5 == 0 ? 0 : (x * 255 / uint32_t(p.width)) | 0x0F;
                if (p.depth == 32)
                    pictra::test::wordsOf(image)[i] = alpha << 24 | ((x * 7 + p.seed) & 0xFF) << 16 |
                                                      ((y * 11 + p.seed) & 0xFF) << 8 | ((x * y + p.seed) & 0xFF);
                else
                    pictra::test::pensOf(image)[i] = uint8_t((x * 3 + y + p.seed) % (1u << p.depth));
            }
            for (uint32_t c = 0; p.depth != 32 && c < (1u << p.depth); ++c)
                image->palette[c] = ((c * 37 + p.seed) & 0xFF) << 16 | ((c * 91) & 0xFF) << 8 | ((255 - c * 13) & 0xFF);
        }
        for (std::string& text : texts) toolTypes.push_back(text.data());
        toolTypes.push_back(nullptr);
        const bool d = spec.drawer;
        attributes = IconAttributes{d ? 2 : 3, d ? 2 : 0, 40, 17, d ? 50 : 0, d ? 30 : 0, d ? 400 : 0, d ? 200 : 0, 8192,
                                    d ? nullptr : "SYS:Utilities/MultiView", toolTypes.data(), d ? 1 : 0};
    }
};

const char* const kCorpusIcons[] = {
    "amiga/classic/AROS-mirror__Mason_4cols_shell.info",
    "amiga/newicons/Voyager__release_icons_newicons_Plugins.info",
    "amiga/os35/AmiBlitz3__Other_examples_bench_gfxbus_speed_gfxbenchmark.info",
    "amiga/os4/AmiBlitz3__Contributions_MasonIcons_Icons_AmiBlitz3_Docs_def_ascii.info",
    "amiga/png/AmiBlitz3__Contributions_MorphOSIcons_ProBonds.info",
    "ico/python-circuits-doc__favicon.ico",
    "icns/boinc__clientgui_res_CharityEngine.icns",
};

bool updating(const std::string& format) {
    const char* value = std::getenv("PICTRA_UPDATE_GOLDEN");
    if (!value) return false;
    const std::string list = std::string(",") + value + ",";
    return list == ",all," || list.find("," + format + ",") != std::string::npos;
}

// `lines` against golden/<name>.sha256, or written there when updating `name`.
void expectGolden(const std::string& name, const std::string& lines) {
    const std::string golden = std::string(PICTRA_GOLDEN_DIR) + "/" + name + ".sha256";
    if (updating(name)) {
        std::ofstream(golden) << lines;
        GTEST_SKIP() << "rewrote " << golden;
    }
    const std::string expected = pictra::test::readText(golden);
    ASSERT_FALSE(expected.empty()) << golden << " is missing: run with PICTRA_UPDATE_GOLDEN=" << name;
    EXPECT_EQ(lines, expected) << "the files saved differ from " << golden
                               << "; if a writer changed on purpose, rerun with PICTRA_UPDATE_GOLDEN=" << name;
}

class OutputIdentityTest : public pictra::test::LoadedModuleTest,
                           public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LoadedModuleTest::SetUp();
        ASSERT_EQ(savers_.size(), 7u);
    }

    // "refused" or the SHA-256 of the file saved.
    std::string save(const host::Saver& saver, IconImage* images, const IconAttributes& attributes,
                     bool compress) {
        const std::string file = path("saved");
        std::filesystem::remove(file);
        if (!saveIcon(file, images, saver.formatId, &attributes, compress)) return "refused";
        return pictra::test::sha256(pictra::test::readFile(file));
    }
};

TEST_P(OutputIdentityTest, SavedFilesMatchTheRecordedDigests) {
    const host::Saver& saver = savers_[std::size_t(GetParam())];
    std::ostringstream lines;
    for (const SetSpec& spec : kBuiltSets) {
        BuiltSet set(spec);
        for (bool compress : {false, true})
            lines << spec.name << ' ' << compress << ' ' << save(saver, set.list.head(), set.attributes, compress) << '\n';
    }
    for (const char* icon : kCorpusIcons) {
        IconAttributes attributes{};
        host::IconPtr loaded = loadIcon(std::string(PICTRA_TEST_CORPUS) + "/" + icon, &attributes);
        for (bool compress : {false, true}) {
            lines << "corpus:" << icon << ' ' << compress << ' ';
            if (loaded)
                lines << save(saver, module_->entry().getIconImages(loaded.get()), attributes, compress) << '\n';
            else
                lines << "source-refused\n";
        }
    }

    expectGolden(saver.name, lines.str());
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, OutputIdentityTest, ::testing::Range(0, 7));

// The pixels as bytes A, R, G, B, whatever the machine's order.
std::string pixelDigest(const host::Picture& picture) {
    Bytes bytes;
    for (const uint32_t pixel : picture.pixels)
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(pixel >> shift));
    return pictra::test::sha256(bytes);
}

TEST_F(OutputIdentityTest, CreatedIconsMatchTheRecordedDigests) {
    // A large drawing, a wide one and a small one drawn by hand.
    const std::vector<host::Picture> art = {pictra::test::artwork(1024, 1024), pictra::test::artwork(300, 200),
                                            pictra::test::artwork(16, 16)};
    std::ostringstream lines;
    for (const host::Saver& saver : savers_) {
        const host::IconTarget* target = host::iconTarget(saver.name);
        ASSERT_TRUE(target) << saver.name;
        std::vector<host::Picture> pictures;
        if (target->sizes.empty()) {
            // The selected picture from the small drawing, enlarged and
            // centred on the normal picture's size.
            const host::Picture normal = *host::withinFromArt(art, target->maxSide ? target->maxSide : 1024);
            const host::Picture selected = *host::withinFromArt({art.begin() + 2, art.end()}, normal.width);
            pictures = {normal, host::Picture(host::centreOnCanvas(selected, normal.width, normal.height))};
        } else {
            for (const uint32_t side : target->sizes) pictures.push_back(*host::squareFromArt(art, side));
        }
        std::vector<IconImage> images(pictures.size());
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            host::Picture& p = pictures[i];
            lines << saver.name << " pixels " << p.width << 'x' << p.height << ' ' << pixelDigest(p) << '\n';
            const uint32_t flags = target->sizes.empty() && i == 1 ? IconImageSelected : 0;
            images[i] = IconImage{i + 1 < images.size() ? &images[i + 1] : nullptr, p.pixels.data(), int32_t(p.width),
                                  int32_t(p.height), flags, nullptr, -1, 32, 0};
        }
        IconAttributes attributes{};
        attributes.type = 4;
        attributes.stackSize = 4096;
        for (bool compress : {false, true})
            lines << saver.name << " file " << compress << ' ' << save(saver, images.data(), attributes, compress) << '\n';
    }
    expectGolden("created", lines.str());
}

}  // namespace
