// Every Amiga icon of the shared corpus, read through the module and held
// against what an independent classifier saw in it (features.tsv), then
// saved in every Amiga format and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "amiga_fixture.h"
#include "icon_pictures.h"
#include "host/compression.h"
#include "host/images.h"

namespace {

using namespace pictra::test;

const fs::path kCorpus = PICTRA_TEST_CORPUS;

struct Seen {
    std::string file;  // relative to the corpus
    bool png = false;
    std::map<std::string, std::string> features;
};

// The Amiga icons listed in features.tsv.
std::vector<Seen> amigaIcons() {
    std::vector<Seen> icons;
    std::ifstream in(kCorpus / "features.tsv");
    for (std::string line, format; std::getline(in, line);) {
        std::istringstream fields(line);
        Seen seen;
        fields >> seen.file >> format;
        if (format.rfind("amiga-", 0) != 0) continue;
        seen.png = format == "amiga-png";
        for (std::string word; fields >> word;) {
            const auto equals = word.find('=');
            seen.features[word.substr(0, equals)] = equals == std::string::npos ? "" : word.substr(equals + 1);
        }
        icons.push_back(seen);
    }
    return icons;
}

struct NewIconsSeen {
    int width, height, colours;
    bool transparent;
};

// "IM1(38x38/68col/transp/12lines),IM2(...)"
std::vector<NewIconsSeen> newIconsOf(const std::string& text) {
    static const std::regex picture(R"(\((\d+)x(\d+)/(\d+)col/([a-z]+))");
    std::vector<NewIconsSeen> seen;
    for (std::sregex_iterator m(text.begin(), text.end(), picture), end; m != end; ++m)
        seen.push_back({std::stoi((*m)[1]), std::stoi((*m)[2]), std::stoi((*m)[3]), (*m)[4] == "transp"});
    return seen;
}

// "face=46x46,imag(d4/...),argb(...)": the IMAG and ARGB entries in order.
std::vector<std::string> formDetails(const std::string& text) {
    static const std::regex entry(R"((imag|argb)\([^)]*\))");
    std::vector<std::string> details;
    for (std::sregex_iterator m(text.begin(), text.end(), entry), end; m != end; ++m) details.push_back(m->str());
    return details;
}

class AmigaCorpusTest : public AmigaModuleTest {};

TEST_F(AmigaCorpusTest, EveryIconLoadsWithThePicturesAndAttributesTheClassifierSaw) {
    const std::map<std::string, int> types = {{"disk", 1}, {"drawer", 2}, {"tool", 3}, {"project", 4}, {"garbage", 5}};
    std::vector<std::string> refused;
    std::size_t classicIcons = 0, pngIcons = 0, pngPairs = 0;
    for (const Seen& icon : amigaIcons()) {
        SCOPED_TRACE(icon.file);
        const auto& f = icon.features;
        auto feature = [&f](const char* name, const char* otherwise = "") {
            return f.count(name) ? f.at(name) : std::string(otherwise);
        };
        const LoadedIcon loaded = load((kCorpus / icon.file).string());
        if (icon.png) {
            // A second PNG after the first one's IEND is the selected picture.
            ++pngIcons;
            const Bytes bytes = readFile(kCorpus / icon.file);
            const std::size_t end = std::string(bytes.begin(), bytes.end()).find("IEND") + 8;
            const auto all = loaded.pictures();
            ASSERT_EQ(all.size(), end < bytes.size() ? 2u : 1u);
            EXPECT_EQ(std::to_string(all[0]->width) + "x" + std::to_string(all[0]->height), f.at("size"));
            if (all.size() == 1) continue;
            ++pngPairs;
            const auto decoded = pictra::host::decodeImage(std::span(bytes).subspan(end));
            ASSERT_TRUE(decoded);
            EXPECT_EQ(std::make_tuple(all[0]->flags, all[1]->flags, uint32_t(all[1]->width), argbOf(*all[1])),
                      std::make_tuple(0u, uint32_t(IconImageSelected), decoded->width, decoded->pixels));
            continue;
        }
        ++classicIcons;
        if (!loaded.icon) {
            refused.push_back(fs::path(icon.file).filename().string());
            continue;
        }
        const IconAttributes& a = loaded.attributes;
        EXPECT_EQ(a.type, types.at(f.at("type")));
        EXPECT_EQ(a.stackSize, std::stoi(feature("stack", "0")));
        if (feature("pos") == "nopos") { EXPECT_EQ(a.currentX, INT32_MIN); }
        // The classifier writes blanks as underscores.
        std::string tool = a.defaultTool ? a.defaultTool : "<none>";
        std::replace(tool.begin(), tool.end(), ' ', '_');
        EXPECT_EQ(tool, feature("deftool", "<none>"));
        // Every stored tool type reaches the caller, empty ones and those
        // after them too, but for the NewIcons lines and their marker.
        // A block whose lengths run past the end of the file (the two
        // damaged SWitch icons) keeps the texts before the one cut off.
        const auto texts = loaded.toolTypes();
        const std::string warning = feature("warn");
        const std::size_t cut = warning.find("truncated:tooltype");
        const std::string stored = cut == std::string::npos ? feature("tooltypes", "0") : warning.substr(cut + 18);
        if (!f.count("newicons")) { EXPECT_EQ(texts.size(), std::stoul(stored)); }
        EXPECT_EQ(std::count(texts.begin(), texts.end(), kMarker), 0);
        if (f.count("drawerdata2") && feature("rev") == "1") { EXPECT_GE(a.drawerViewMode, 1); }

        const auto pictures = loaded.pictures();
        int gadgetWidth = 0, gadgetHeight = 0, depth = 0;
        ASSERT_EQ(std::sscanf(f.at("gadget").c_str(), "%dx%d", &gadgetWidth, &gadgetHeight), 2);
        ASSERT_EQ(std::sscanf(f.at("imgs").c_str(), "%*dx%*dx%d", &depth), 1);
        const std::size_t classic = std::stoul(f.at("images"));
        const auto newIcons = newIconsOf(feature("newicons"));
        ASSERT_GE(pictures.size(), classic + newIcons.size());
        EXPECT_EQ(pictures[0]->depth, depth);
        for (std::size_t i = 0; i < classic; ++i)
            EXPECT_EQ(std::make_tuple(pictures[i]->width, pictures[i]->height, pictures[i]->transparentPen,
                                      pictures[i]->flags & IconImageSelected),
                      std::make_tuple(gadgetWidth, gadgetHeight, 0, i ? uint32_t(IconImageSelected) : 0u));
        for (std::size_t i = 0; i < newIcons.size(); ++i) {
            const IconImage* p = pictures[classic + i];
            const NewIconsSeen& seen = newIcons[i];
            const int bits = std::max(1, int(std::bit_width(unsigned(seen.colours - 1))));
            EXPECT_EQ(std::make_tuple(p->width, p->height, p->depth, p->transparentPen, p->flags & IconImageSelected),
                      std::make_tuple(seen.width, seen.height, bits, seen.transparent ? 0 : -1,
                                      i ? uint32_t(IconImageSelected) : 0u));
        }
        // A FORM's pictures come last, IMAG ones of the depth and transparency
        // seen, then ARGB ones. The first picture of the last set is primary.
        const auto details = formDetails(feature("formdetail"));
        const auto imag = std::size_t(std::count_if(details.begin(), details.end(), [](auto& d) { return d[0] == 'i'; }));
        ASSERT_GE(pictures.size(), classic + newIcons.size() + details.size());
        const std::size_t form = pictures.size() - details.size();
        for (std::size_t i = 0; i < details.size(); ++i) {
            int imagDepth = 32;
            std::sscanf(details[i].c_str(), "imag(d%d", &imagDepth);
            const IconImage* p = pictures[form + i];
            EXPECT_EQ(std::make_tuple(p->depth, p->transparentPen, p->flags & IconImageSelected),
                      std::make_tuple(imagDepth, details[i].find("/tr0") != std::string::npos ? 0 : -1,
                                      i != 0 && i != imag ? uint32_t(IconImageSelected) : 0u)) << details[i];
        }
        const std::size_t primary = details.size() ? form + (imag < details.size() ? imag : 0) : newIcons.empty() ? 0 : classic;
        for (std::size_t i = 0; i < pictures.size(); ++i)
            EXPECT_EQ((pictures[i]->flags & IconImagePrimary) != 0, i == primary) << i;
    }
    EXPECT_EQ(std::make_tuple(classicIcons, pngIcons, pngPairs), std::make_tuple(202u, 40u, 12u));
    EXPECT_EQ(refused, std::vector<std::string>{});
}

TEST_F(AmigaCorpusTest, NewIconsBehindAMarkerAfterAnotherLineEqualTheFormPictures) {
    const LoadedIcon loaded = load((kCorpus / "amiga/os35/AmiBlitz3__Contributions_MasonIcons_Amiblitz3.info").string());
    const auto pictures = loaded.pictures();
    ASSERT_EQ(pictures.size(), 6u);  // classic, NewIcons, IMAG: two of each
    for (std::size_t i = 2; i < 4; ++i) EXPECT_EQ(argbOf(*pictures[i]), argbOf(*pictures[i + 2])) << i;
}

// On every machine the ARGB chunk holds the alpha byte first. The FORM of
// this file is a FACE of 6 bytes, then the ARGB chunks.
TEST_F(AmigaCorpusTest, RealArgbChunkReadsAlphaFirst) {
    const fs::path file = kCorpus / "amiga/os4/netsurf__Themes_AISS_NetSurf.info";
    const Bytes bytes = readFile(file);
    const std::size_t argb = std::string(bytes.begin(), bytes.end()).find("FORM") + 12 + 8 + 6 + 8;
    ASSERT_EQ(std::string(bytes.begin() + long(argb) - 8, bytes.begin() + long(argb) - 4), "ARGB");
    Bytes raw(64 * 64 * 4);
    uint32_t length = static_cast<uint32_t>(raw.size());
    ASSERT_EQ(pictra::host::uncompressBlock(raw.data(), &length, bytes.data() + argb + 10, be32(bytes, argb + 4) + 1), 0);
    const LoadedIcon loaded = load(file.string());
    const auto all = loaded.pictures();
    const auto first = std::find_if(all.begin(), all.end(), [](const IconImage* p) { return p->depth == 32; });
    ASSERT_NE(first, all.end());
    const auto* words = static_cast<const uint32_t*>((*first)->pixels);
    int transparent = 0;
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        ASSERT_EQ(words[i], be32(raw, 4 * i)) << i;
        transparent += raw[4 * i] == 0;
    }
    EXPECT_GT(transparent, 100);  // the corners of a round icon
}

std::vector<uint8_t> pensIn(const IconImage* picture) {
    const auto* pens = static_cast<const uint8_t*>(picture->pixels);
    return {pens, pens + picture->width * picture->height};
}

bool samePixels(const IconImage* a, const IconImage* b) {
    return a->width == b->width && a->height == b->height && (a->depth == 32) == (b->depth == 32) &&
           argbOf(*a) == argbOf(*b) && (a->depth == 32 || pensIn(a) == pensIn(b));
}

// The index of the first picture after the classic ones.
std::size_t afterClassic(const std::vector<IconImage*>& pictures) {
    return pictures.size() > 1 && (pictures[1]->flags & IconImageSelected) ? 2 : 1;
}

TEST_F(AmigaCorpusTest, EveryIconSavedInEveryAmigaFormatReadsBackWhatTheFormatHolds) {
    const std::pair<std::string, int32_t> targets[] = {{"AMIGAOS", 0},   {"NEWICON", 0},   {"AMIGAOS35", 0},
                                                       {"AMIGAOS35", 1}, {"AMIGAOS40", 0}, {"PNG", 0}};
    int saved[std::size(targets)] = {};
    for (const Seen& icon : amigaIcons()) {
        if (icon.file.rfind("amiga/malformed/", 0) == 0) continue;
        const LoadedIcon source = load((kCorpus / icon.file).string());
        ASSERT_TRUE(source.icon) << icon.file;
        const IconAttributes& a = source.attributes;
        const auto pictures = source.pictures();
        const IconImage* trueColour = nullptr;
        for (const IconImage* p : pictures)
            if (!trueColour && p->depth == 32 && p->width <= 256 && p->height <= 256) trueColour = p;
        // NewIcons pictures are at most 93 x 93.
        const bool small = std::any_of(pictures.begin(), pictures.end(),
                                       [](const IconImage* p) { return p->width <= 93 && p->height <= 93; });
        const bool drawer = a.type == 1 || a.type == 2 || a.type == 5;
        const bool window = drawer || a.drawerLeft || a.drawerTop || a.drawerWidth || a.drawerHeight ||
                            a.drawerViewMode || a.drawerShowAll;
        for (std::size_t t = 0; t < std::size(targets); ++t) {
            const std::string format = targets[t].first;
            SCOPED_TRACE(icon.file + " as " + format + (targets[t].second ? " packed" : ""));
            const bool classic = format == "AMIGAOS" || format == "NEWICON", png = format == "PNG";
            const bool saves = format == "NEWICON" ? small : classic || format == "AMIGAOS35" || trueColour;
            ASSERT_EQ(save(path("out.info"), source.icon->images, format, &a, targets[t].second), saves ? 1 : 0);
            if (!saves) {
                EXPECT_EQ(fs::file_size(path("out.info")), 0u);
                continue;
            }
            ++saved[t];
            const LoadedIcon back = load(path("out.info"));
            ASSERT_TRUE(back.icon);
            // PNG icons keep a window for drawers only, and their view mode
            // as it is; the classic layout reads view mode 0 back as 1. (The
            // window of a PNG icon may hold values beyond its 16-bit fields,
            // and its view mode any value a flags item cannot hold.)
            const bool kept = png ? drawer : window && !icon.png;
            auto fields = [kept](const IconAttributes& x, int32_t viewMode) {
                return std::make_tuple(x.type, x.currentX, x.currentY, x.stackSize, kept ? x.drawerLeft : 0,
                                       kept ? x.drawerTop : 0, kept ? x.drawerWidth : 0, kept ? x.drawerHeight : 0,
                                       kept ? viewMode : 0, kept ? x.drawerShowAll : 0,
                                       std::string(x.defaultTool ? x.defaultTool : "<none>"), toolTypesOf(x));
            };
            EXPECT_EQ(fields(back.attributes, icon.png ? 0 : back.attributes.drawerViewMode),
                      fields(a, icon.png ? 0 : png ? a.drawerViewMode : std::max(a.drawerViewMode, 1)));
            const auto written = back.pictures();
            if (classic) {
                // Pictures of two or three planes keep their pens, a partner
                // of the same depth with them.
                if (pictures[0]->depth == 2 || pictures[0]->depth == 3) {
                    EXPECT_EQ(pensIn(written[0]), pensIn(pictures[0]));
                    const bool partner = afterClassic(pictures) == 2 && pictures[1]->depth == pictures[0]->depth;
                    ASSERT_EQ(afterClassic(written), partner ? 2u : 1u);
                    if (partner) { EXPECT_EQ(pensIn(written[1]), pensIn(pictures[1])); }
                }
                // NewIcons pictures come back with the same colours, unless a
                // deeper classic picture is there: the deepest palette picture
                // is the one written as NewIcons.
                if (format != "NEWICON" || !icon.features.count("newicons") || pictures[0]->depth > 3) continue;
                const std::size_t from = afterClassic(pictures), to = afterClassic(written);
                for (std::size_t i = 0; i < 2 && from + i < pictures.size() &&
                                        (i == 0 || (pictures[from + i]->flags & IconImageSelected)); ++i) {
                    ASSERT_LT(to + i, written.size());
                    EXPECT_EQ(written[to + i]->transparentPen, pictures[from + i]->transparentPen);
                    EXPECT_EQ(argbOf(*written[to + i]), argbOf(*pictures[from + i]));
                }
            } else if (format == "AMIGAOS35") {
                // Its normal IMAG picture is one of the source's palette
                // pictures, or a reduction of its 32-bit one.
                const IconImage* imag = written[written.size() - 1 - (written.back()->flags & IconImageSelected ? 1 : 0)];
                EXPECT_TRUE(trueColour || std::any_of(pictures.begin(), pictures.end(),
                                                      [&](const IconImage* p) { return samePixels(p, imag); }));
            } else {
                // The formats of 32-bit pictures hold the first one unchanged,
                // with its selected partner of the same size.
                const auto first = std::find_if(written.begin(), written.end(), [](auto* p) { return p->depth == 32; });
                ASSERT_NE(first, written.end());
                EXPECT_TRUE(samePixels(*first, trueColour));
                const IconImage* partner = trueColour->next;
                if (partner && (partner->flags & IconImageSelected) && partner->depth == 32 &&
                    partner->width == trueColour->width && partner->height == trueColour->height) {
                    ASSERT_NE((*first)->next, nullptr);
                    EXPECT_TRUE(samePixels((*first)->next, partner));
                }
            }
        }
    }
    EXPECT_EQ(std::vector<int>(saved, saved + 6), (std::vector<int>{240, 235, 240, 240, 78, 78}));
}

}  // namespace
