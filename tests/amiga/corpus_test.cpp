// Every Amiga icon of the shared corpus, read through the module, held
// against what an independent classifier saw in it (features.tsv).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
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
    const std::regex picture(R"(IM\d\((\d+)x(\d+)/(\d+)col/(\w+)/)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), picture); it != std::sregex_iterator(); ++it)
        seen.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3]), (*it)[4] == "transp"});
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

TEST_F(AmigaCorpusTest, EmptyToolTypesHideNoLaterOnes) {
    struct Case {
        const char* file;
        std::size_t count;
        std::vector<std::size_t> empty;
    };
    const Case cases[] = {
        {"amiga/os35/AmiBlitz3__Amiblitz3.info", 105, {10, 16, 34, 52, 72, 93, 97}},
        {"amiga/os35/AmiBlitz3__Tools_AB3HelpViewer.info", 31, {12, 16, 19, 22, 25, 28, 29, 30}},
    };
    for (const Case& c : cases) {
        IconAttributes attributes{};
        auto loaded = load((kCorpus / c.file).string(), &attributes);
        ASSERT_TRUE(loaded) << c.file;
        // toolTypesOf stops at the null entry, not at an empty text.
        std::size_t count = 0;
        while (attributes.toolTypes[count]) ++count;
        EXPECT_EQ(count, c.count) << c.file;
        std::vector<std::size_t> empty;
        for (std::size_t i = 0; i < count; ++i)
            if (!*attributes.toolTypes[i]) empty.push_back(i);
        EXPECT_EQ(empty, c.empty) << c.file;
        EXPECT_EQ(std::string(attributes.toolTypes[count - 1]).empty(), c.empty.back() == count - 1) << c.file;
    }
}

TEST_F(AmigaCorpusTest, AMarkerAfterAnotherLineStillCarriesPictures) {
    // The NewIcons pictures of this icon repeat its IMAG pictures pixel for
    // pixel, once the FORM ICON reader adds those.
    const char* const files[] = {"amiga/newicons/AROS-mirror__Modules_rename.module_rename.info",
                                 "amiga/os35/AmiBlitz3__Contributions_MasonIcons_Amiblitz3.info"};
    for (const char* file : files) {
        IconAttributes attributes{};
        auto loaded = load((kCorpus / file).string(), &attributes);
        ASSERT_TRUE(loaded) << file;
        const auto pictures = picturesOf(loaded.get());
        const std::size_t classic = std::string(file).find("rename") != std::string::npos ? 1 : 2;
        ASSERT_GE(pictures.size(), classic + 2) << file;
        for (const std::string& text : toolTypesOf(attributes))
            EXPECT_EQ(text.find("DON'T EDIT"), std::string::npos) << file;
        const IconImage* normal = pictures[classic];
        EXPECT_EQ(normal->flags & IconImageSelected, 0u);
        EXPECT_EQ(pictures[classic + 1]->flags, uint32_t(IconImageSelected));
        if (pictures.size() < classic + 4) continue;
        for (std::size_t i = 0; i < 2; ++i) {
            const IconImage* fromText = pictures[classic + i];
            const IconImage* fromForm = pictures[classic + 2 + i];
            ASSERT_EQ(fromText->width, fromForm->width);
            ASSERT_EQ(fromText->height, fromForm->height);
            const auto* a = static_cast<const uint8_t*>(fromText->pixels);
            const auto* b = static_cast<const uint8_t*>(fromForm->pixels);
            for (int p = 0; p < fromText->width * fromText->height; ++p) {
                ASSERT_EQ(fromText->palette[a[p]], fromForm->palette[b[p]]) << file << " pixel " << p;
                ASSERT_EQ(a[p] == 0, b[p] == 0) << file << " pixel " << p;
            }
        }
    }
}

}  // namespace
