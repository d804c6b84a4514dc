// Every format's writer, fed a fixed set of pictures (built here, and loaded
// from corpus icons), with and without the compress switch: the SHA-256 of
// each file saved must be the value recorded in golden/<FORMAT>.sha256, on
// every machine, little- or big-endian, 32- or 64-bit. A writer that refuses
// a set is recorded as refusing it, and a corpus icon that does not load as
// such. When a writer changes on purpose, PICTRA_UPDATE_GOLDEN=<FORMAT>[,...]
// (or =all) rewrites those formats' files instead of comparing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "loaded_module.h"
#include "roundtrip/sha256.h"

namespace {

using pictra::test::Bytes;
namespace host = pictra::host;

// A picture list built in code, with the storage behind it.
struct BuiltSet {
    std::vector<IconImage> images;
    std::vector<std::vector<uint8_t>> pixels;
    std::vector<std::vector<uint32_t>> palettes;
    IconAttributes attributes{};
    std::vector<std::string> texts;
    std::vector<char*> toolTypes;

    void add(int32_t width, int32_t height, int32_t depth, uint32_t flags, int32_t pen, uint32_t seed) {
        const std::size_t count = std::size_t(width) * std::size_t(height);
        std::vector<uint8_t> bytes(depth == 32 ? count * 4 : count);
        std::vector<uint32_t> palette(256, 0);
        if (depth == 32) {
            for (std::size_t i = 0; i < count; ++i) {
                const uint32_t x = uint32_t(i % std::size_t(width)), y = uint32_t(i / std::size_t(width));
                const uint32_t alpha = (x + y) % 5 == 0 ? 0 : (x * 255 / uint32_t(width)) | 0x0F;
                const uint32_t pixel = alpha << 24 | ((x * 7 + seed) & 0xFF) << 16 |
                                       ((y * 11 + seed) & 0xFF) << 8 | ((x * y + seed) & 0xFF);
                std::memcpy(&bytes[i * 4], &pixel, 4);  // native 0xAARRGGBB words
            }
        } else {
            const uint32_t colours = 1u << depth;
            for (std::size_t i = 0; i < count; ++i)
                bytes[i] = uint8_t(((i % std::size_t(width)) * 3 + (i / std::size_t(width)) + seed) % colours);
            for (uint32_t c = 0; c < colours; ++c)
                palette[c] = ((c * 37 + seed) & 0xFF) << 16 | ((c * 91) & 0xFF) << 8 | ((255 - c * 13) & 0xFF);
        }
        pixels.push_back(std::move(bytes));
        palettes.push_back(std::move(palette));
        IconImage image{};
        image.width = width;
        image.height = height;
        image.depth = depth;
        image.flags = flags;
        image.transparentPen = pen;
        images.push_back(image);
    }
    // Links the list once every picture is in place.
    IconImage* head() {
        for (std::size_t i = 0; i < images.size(); ++i) {
            images[i].pixels = pixels[i].data();
            images[i].palette = images[i].depth == 32 ? nullptr : palettes[i].data();
            images[i].next = i + 1 < images.size() ? &images[i + 1] : nullptr;
        }
        return images.empty() ? nullptr : images.data();
    }
    void tool(bool drawer) {
        texts = {"FILETYPE=TEXT|ICON", "DONOTWAIT", "", "PRI=-1"};
        for (std::string& text : texts) toolTypes.push_back(text.data());
        toolTypes.push_back(nullptr);
        attributes.type = drawer ? 2 : 3;
        attributes.currentX = 40;
        attributes.currentY = 17;
        attributes.stackSize = 8192;
        attributes.defaultTool = drawer ? nullptr : "SYS:Utilities/MultiView";
        attributes.toolTypes = toolTypes.data();
        if (drawer) {
            attributes.drawerLeft = 50;
            attributes.drawerTop = 30;
            attributes.drawerWidth = 400;
            attributes.drawerHeight = 200;
            attributes.drawerViewMode = 2;
            attributes.drawerShowAll = 1;
        }
    }
};

std::unique_ptr<BuiltSet> builtSet(const std::string& name) {
    auto set = std::make_unique<BuiltSet>();
    if (name == "palette-2-selected") {
        set->add(16, 16, 2, 0, 0, 1);
        set->add(16, 16, 2, 2, 0, 2);
        set->tool(false);
    } else if (name == "palette-8") {
        set->add(32, 32, 8, 0, 0, 3);
        set->tool(false);
    } else if (name == "palette-4-no-pen") {
        set->add(48, 48, 4, 0, -1, 4);
        set->tool(true);
    } else if (name == "argb-32-selected") {
        set->add(32, 32, 32, 0, -1, 5);
        set->add(32, 32, 32, 2, -1, 6);
        set->tool(false);
    } else if (name == "mixed-sizes") {
        for (int32_t side : {16, 32, 48, 128}) set->add(side, side, 32, 0, -1, uint32_t(side));
        set->add(32, 32, 8, 0, 0, 7);
        set->add(16, 16, 1, 0, -1, 8);
        set->tool(true);
    } else if (name == "argb-256") {
        set->add(256, 256, 32, 0, -1, 9);
        set->tool(false);
    }
    return set;
}

const char* const kBuiltSets[] = {"palette-2-selected", "palette-8",   "palette-4-no-pen",
                                  "argb-32-selected",   "mixed-sizes", "argb-256"};
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
    for (const char* name : kBuiltSets) {
        std::unique_ptr<BuiltSet> set = builtSet(name);
        IconImage* images = set->head();
        for (bool compress : {false, true})
            lines << name << ' ' << compress << ' ' << save(saver, images, set->attributes, compress) << '\n';
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

    const std::string golden = std::string(PICTRA_GOLDEN_DIR) + "/" + saver.name + ".sha256";
    if (updating(saver.name)) {
        std::ofstream(golden) << lines.str();
        GTEST_SKIP() << "rewrote " << golden;
    }
    const std::string expected = pictra::test::readText(golden);
    ASSERT_FALSE(expected.empty()) << golden << " is missing: run with PICTRA_UPDATE_GOLDEN=" << saver.name;
    EXPECT_EQ(lines.str(), expected)
        << "output of " << saver.name << " differs from " << golden
        << "; if the writer changed on purpose, rerun with PICTRA_UPDATE_GOLDEN=" << saver.name;
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, OutputIdentityTest, ::testing::Range(0, 7));

}  // namespace
