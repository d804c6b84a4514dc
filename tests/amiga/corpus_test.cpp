// Every Amiga icon of the shared corpus, read through the module, held
// against what an independent classifier saw in it (features.tsv).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <map>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "amiga_fixture.h"

namespace {

using pictra::test::AmigaModuleTest;
using pictra::test::picturesOf;
using pictra::test::toolTypesOf;
namespace fs = std::filesystem;

const fs::path kCorpus = PICTRA_TEST_CORPUS;

struct Seen {
    std::string file;                      // relative to the corpus
    std::map<std::string, std::string> features;
};

// The classic Amiga icons (first word 0xE3100001) listed in features.tsv: every
// "amiga-" format but PNG icons.
std::vector<Seen> amigaIcons() {
    std::vector<Seen> icons;
    std::ifstream in(kCorpus / "features.tsv");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Seen seen;
        std::string format, rest;
        std::getline(fields, seen.file, '\t');
        std::getline(fields, format, '\t');
        std::getline(fields, rest);
        if (format.rfind("amiga-", 0) != 0 || format == "amiga-png") continue;
        std::istringstream words(rest);
        for (std::string word; words >> word;) {
            const auto equals = word.find('=');
            if (equals == std::string::npos) seen.features[word] = "";
            else seen.features[word.substr(0, equals)] = word.substr(equals + 1);
        }
        icons.push_back(seen);
    }
    return icons;
}

struct NewIconsSeen {
    int width = 0, height = 0, colours = 0;
    bool transparent = false;
};

// "IM1(38x38/68col/transp/12lines),IM2(...)"
std::vector<NewIconsSeen> newIconsOf(const std::string& text) {
    std::vector<NewIconsSeen> seen;
    for (std::size_t at = text.find('('); at != std::string::npos; at = text.find('(', at + 1)) {
        NewIconsSeen picture;
        char kind[16] = {};
        if (std::sscanf(text.c_str() + at, "(%dx%d/%dcol/%15[a-z]", &picture.width, &picture.height,
                        &picture.colours, kind) == 4) {
            picture.transparent = std::string(kind) == "transp";
            seen.push_back(picture);
        }
    }
    return seen;
}

int typeNumber(const std::string& name) {
    const std::map<std::string, int> types = {{"disk", 1}, {"drawer", 2}, {"tool", 3}, {"project", 4}, {"garbage", 5}};
    return types.at(name);
}

int bitsFor(int colours) {
    int bits = 1;
    while ((1 << bits) < colours) ++bits;
    return bits;
}

class AmigaCorpusTest : public AmigaModuleTest {};

TEST_F(AmigaCorpusTest, EveryIconLoadsWithItsClassicAndNewIconsPicturesAndAttributes) {
    const auto icons = amigaIcons();
    ASSERT_GE(icons.size(), 200u);
    std::vector<std::string> refused;
    for (const Seen& icon : icons) {
        SCOPED_TRACE(icon.file);
        const auto& f = icon.features;
        IconAttributes attributes{};
        auto loaded = load((kCorpus / icon.file).string(), &attributes);
        if (!loaded) {
            refused.push_back(fs::path(icon.file).filename().string());
            EXPECT_EQ(icon.file.rfind("amiga/malformed/", 0), 0u) << "a well-formed icon was refused";
            continue;
        }
        EXPECT_EQ(attributes.type, typeNumber(f.at("type")));
        EXPECT_EQ(attributes.stackSize, f.count("stack") ? std::stoi(f.at("stack")) : 0);
        if (f.count("pos") && f.at("pos") == "nopos") {
            EXPECT_EQ(attributes.currentX, INT32_MIN);
        }
        if (f.count("deftool")) {
            ASSERT_NE(attributes.defaultTool, nullptr);
            // The classifier writes blanks as underscores.
            std::string tool = attributes.defaultTool;
            std::replace(tool.begin(), tool.end(), ' ', '_');
            EXPECT_EQ(tool, f.at("deftool"));
        } else {
            EXPECT_EQ(attributes.defaultTool, nullptr);
        }
        // Every stored tool type reaches the caller, empty ones and those
        // after them too, but for the NewIcons lines and their marker.
        const auto texts = toolTypesOf(attributes);
        if (!f.count("newicons")) {
            EXPECT_EQ(texts.size(), f.count("tooltypes") ? std::stoul(f.at("tooltypes")) : 0u);
        }
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "*** DON'T EDIT THE FOLLOWING LINES!! ***"), 0);
        if (f.count("drawerdata2") && f.at("rev") == "1") {
            EXPECT_GE(attributes.drawerViewMode, 1);
        }

        const auto pictures = picturesOf(loaded.get());
        int gadgetWidth = 0, gadgetHeight = 0, depth = 0;
        ASSERT_EQ(std::sscanf(f.at("gadget").c_str(), "%dx%d", &gadgetWidth, &gadgetHeight), 2);
        ASSERT_EQ(std::sscanf(f.at("imgs").c_str(), "%*dx%*dx%d", &depth), 1);
        const std::size_t classic = std::stoul(f.at("images"));
        const auto newIcons = f.count("newicons") ? newIconsOf(f.at("newicons")) : std::vector<NewIconsSeen>{};
        ASSERT_GE(pictures.size(), classic + newIcons.size());
        for (std::size_t i = 0; i < classic; ++i) {
            EXPECT_EQ(pictures[i]->width, gadgetWidth);
            EXPECT_EQ(pictures[i]->height, gadgetHeight);
            EXPECT_EQ(pictures[i]->transparentPen, 0);
        }
        EXPECT_EQ(pictures[0]->depth, depth);
        if (classic == 2) {
            EXPECT_EQ(pictures[1]->flags & IconImageSelected, uint32_t(IconImageSelected));
        }
        for (std::size_t i = 0; i < newIcons.size(); ++i) {
            const IconImage* picture = pictures[classic + i];
            EXPECT_EQ(picture->width, newIcons[i].width);
            EXPECT_EQ(picture->height, newIcons[i].height);
            EXPECT_EQ(picture->depth, bitsFor(newIcons[i].colours));
            EXPECT_EQ(picture->transparentPen, newIcons[i].transparent ? 0 : -1);
            EXPECT_EQ(picture->flags & IconImageSelected, i ? uint32_t(IconImageSelected) : 0u);
        }
        // Without a FORM ICON the first picture of the last set is primary.
        if (!f.count("form")) {
            for (std::size_t i = 0; i < pictures.size(); ++i)
                EXPECT_EQ((pictures[i]->flags & IconImagePrimary) != 0, i == (newIcons.empty() ? 0 : classic));
        }
    }
    // Both damaged icons have tool-type lengths that run past the end of the
    // file: they fail cleanly.
    EXPECT_EQ(refused, (std::vector<std::string>{"AROS-mirror__Misc_SWitch_SWitch.guide.info",
                                                 "AROS-mirror__Misc_SWitch_SWitch.info"}));
}

TEST_F(AmigaCorpusTest, NewIconsBehindAMarkerAfterAnotherLineEqualTheFormPictures) {
    // This icon's NewIcons pictures repeat its IMAG pictures pixel for pixel;
    // the check runs once the FORM ICON reader adds those.
    auto loaded = load((kCorpus / "amiga/os35/AmiBlitz3__Contributions_MasonIcons_Amiblitz3.info").string());
    ASSERT_TRUE(loaded);
    const auto pictures = picturesOf(loaded.get());
    ASSERT_GE(pictures.size(), 4u);
    if (pictures.size() < 6) GTEST_SKIP() << "no FORM ICON pictures read";
    for (std::size_t i = 2; i < 4; ++i) {
        const IconImage* text = pictures[i];
        const IconImage* form = pictures[i + 2];
        ASSERT_EQ(text->width * text->height, form->width * form->height);
        const auto* a = static_cast<const uint8_t*>(text->pixels);
        const auto* b = static_cast<const uint8_t*>(form->pixels);
        for (int p = 0; p < text->width * text->height; ++p)
            ASSERT_EQ(a[p] ? text->palette[a[p]] : ~0u, b[p] ? form->palette[b[p]] : ~0u) << "pixel " << p;
    }
}

TEST_F(AmigaCorpusTest, TheExampleIsANewIconsProjectIcon) {
    IconAttributes attributes{};
    auto loaded = load(std::string(PICTRA_TEST_EXAMPLES) + "/pictra.info", &attributes);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(attributes.type, 4);
    EXPECT_STREQ(attributes.defaultTool, "SYS:Utilities/MultiView");
    EXPECT_EQ(toolTypesOf(attributes), (std::vector<std::string>{"FILETYPE=picture", "(DONOTWAIT)"}));
    std::vector<std::tuple<int, int, uint32_t>> shapes;  // depth, width, flags
    for (const IconImage* picture : picturesOf(loaded.get())) shapes.emplace_back(picture->depth, picture->width, picture->flags);
    EXPECT_EQ(shapes, (std::vector<std::tuple<int, int, uint32_t>>{{2, 48, 0}, {2, 48, 2}, {8, 48, 1}, {8, 48, 2}}));
}

std::vector<uint8_t> pensOf(const IconImage* picture) {
    const auto* pens = static_cast<const uint8_t*>(picture->pixels);
    return {pens, pens + picture->width * picture->height};
}

std::vector<uint32_t> coloursOf(const IconImage* picture) {
    std::vector<uint32_t> colours;
    for (uint8_t pen : pensOf(picture)) colours.push_back(int32_t(pen) == picture->transparentPen ? ~0u : picture->palette[pen]);
    return colours;
}

// The index of the first picture after the classic ones.
std::size_t afterClassic(const std::vector<IconImage*>& pictures) {
    return pictures.size() > 1 && (pictures[1]->flags & IconImageSelected) ? 2 : 1;
}

TEST_F(AmigaCorpusTest, EveryIconSavedAsAmigaOSAndNewIconReadsBackTheSame) {
    for (const Seen& icon : amigaIcons()) {
        if (icon.file.rfind("amiga/malformed/", 0) == 0) continue;
        SCOPED_TRACE(icon.file);
        IconAttributes source{};
        auto loaded = load((kCorpus / icon.file).string(), &source);
        ASSERT_TRUE(loaded);
        const auto pictures = picturesOf(loaded.get());
        const bool window = source.drawerLeft || source.drawerTop || source.drawerWidth || source.drawerHeight ||
                            source.drawerViewMode || source.drawerShowAll || source.type == 1 || source.type == 2 ||
                            source.type == 5;
        // NewIcons pictures are at most 93 x 93: an icon without one that
        // fits cannot be saved so, and nothing is written.
        const bool small = std::any_of(pictures.begin(), pictures.end(),
                                       [](const IconImage* p) { return p->width <= 93 && p->height <= 93; });
        for (const char* format : {"AMIGAOS", "NEWICON"}) {
            SCOPED_TRACE(format);
            const bool saves = small || std::string(format) == "AMIGAOS";
            ASSERT_EQ(save(path("out.info"), loaded->images, format, &source), saves ? 1 : 0);
            if (!saves) {
                EXPECT_EQ(fs::file_size(path("out.info")), 0u);
                continue;
            }
            IconAttributes back{};
            auto again = load(path("out.info"), &back);
            ASSERT_TRUE(again);
            auto fields = [](const IconAttributes& a, int32_t viewMode) {
                return std::make_tuple(a.type, a.currentX, a.currentY, a.stackSize, a.drawerLeft, a.drawerTop,
                                       a.drawerWidth, a.drawerHeight, viewMode, a.drawerShowAll);
            };
            EXPECT_EQ(fields(back, back.drawerViewMode),
                      fields(source, window ? std::max(source.drawerViewMode, 1) : 0));
            EXPECT_EQ(back.defaultTool ? std::string(back.defaultTool) : "<none>",
                      source.defaultTool ? std::string(source.defaultTool) : "<none>");
            EXPECT_EQ(toolTypesOf(back), toolTypesOf(source));
            const auto written = picturesOf(again.get());
            // Pictures of two or three planes keep their pens, a partner of
            // the same depth with them.
            if (pictures[0]->depth == 2 || pictures[0]->depth == 3) {
                EXPECT_EQ(pensOf(written[0]), pensOf(pictures[0]));
                const bool partner = afterClassic(pictures) == 2 && pictures[1]->depth == pictures[0]->depth;
                ASSERT_EQ(afterClassic(written), partner ? 2u : 1u);
                if (partner) {
                    EXPECT_EQ(pensOf(written[1]), pensOf(pictures[1]));
                }
            }
            // The NewIcons pictures come back with the same colours pixel for
            // pixel, unless a deeper classic picture is there: the deepest
            // palette picture is the one written as NewIcons.
            if (std::string(format) != "NEWICON" || !icon.features.count("newicons") || pictures[0]->depth > 3) continue;
            const std::size_t from = afterClassic(pictures), to = afterClassic(written);
            for (std::size_t i = 0; i < 2 && from + i < pictures.size() && (i == 0 || (pictures[from + i]->flags & IconImageSelected)); ++i) {
                ASSERT_LT(to + i, written.size());
                EXPECT_EQ(written[to + i]->transparentPen, pictures[from + i]->transparentPen);
                EXPECT_EQ(coloursOf(written[to + i]), coloursOf(pictures[from + i]));
            }
        }
    }
}

}  // namespace
