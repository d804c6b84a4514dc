// Adapting pictures to a target, through the real module: every source kind
// (palette pictures of 2, 4 and 8 bits and 32-bit pictures, from 12 to 1024
// pixels) saved as every format after adaptPictures(), then read back.
// Nothing that can be adapted is refused, no colour is lost where the target
// holds true colour, each change has its note, and what a target takes as
// it is stays untouched.
#include <gtest/gtest.h>

#include <algorithm>

#include "adapt.h"
#include "extract.h"
#include "host/resample.h"
#include "icon_pictures.h"

namespace pictra::cli {
namespace {

struct Source {
    int32_t depth;
    int32_t side;
};

// A picture of one kind added to `list`: pens in diagonal bands over a
// palette of distinct colours (pen 0 transparent), or a 32-bit gradient with
// soft alpha.
IconImage* sourcePicture(test::PictureList& list, Source s) {
    IconImage* image = list.add(s.side, s.side, s.depth, s.depth == 32 ? -1 : 0);
    for (std::size_t i = 0; i < std::size_t(s.side) * std::size_t(s.side); ++i) {
        const auto x = uint32_t(i % uint32_t(s.side)), y = uint32_t(i / uint32_t(s.side));
        if (s.depth == 32)
            test::wordsOf(image)[i] = (x * 255 / uint32_t(s.side)) << 24 | (y * 255 / uint32_t(s.side)) << 16 | 0x4080 | (x & 0x3F);
        else
            test::pensOf(image)[i] = uint8_t((i / 3 + i / std::size_t(s.side)) % (1u << s.depth));
    }
    for (uint32_t pen = 0; s.depth != 32 && pen < (1u << s.depth); ++pen)
        image->palette[pen] = (pen * 53 % 256) << 16 | (pen * 101 % 256) << 8 | (255 - pen);
    return image;
}

// What each target must make of a square source of `side` pixels.
std::string expectedChange(const host::IconTarget& target, Source s) {
    const bool palette = s.depth != 32;
    const auto side = uint32_t(s.side);
    if (target.onlySizes) {
        const bool inTable = std::find(target.sizes.begin(), target.sizes.end(), side) != target.sizes.end();
        if (!inTable) return "scaled to";
        return palette ? "expanded to 32 bits" : "";
    }
    const bool tooLarge = target.maxSide && side > target.maxSide;
    if (palette && target.trueColourOnly) return "expanded to 32 bits";
    return tooLarge ? "scaled to" : "";
}

// The pixels with every fully transparent one made 0: formats differ in
// what colour they keep where nothing shows.
std::vector<uint32_t> visible(std::vector<uint32_t> pixels) {
    for (uint32_t& pixel : pixels)
        if (pixel >> 24 == 0) pixel = 0;
    return pixels;
}

class AdaptTest : public test::LoadedModuleTest {};

TEST_F(AdaptTest, EverySourceKindReachesEveryTarget) {
    const Source sources[] = {{2, 12}, {4, 32}, {8, 48}, {8, 100}, {4, 300}, {32, 12}, {32, 20},
                              {32, 64}, {32, 93}, {32, 256}, {32, 257}, {32, 1024}};
    for (const host::Saver& saver : savers_) {
        const host::IconTarget* target = host::iconTarget(saver.name);
        ASSERT_TRUE(target) << saver.name;
        for (const Source s : sources) {
            SCOPED_TRACE(saver.name + " from " + std::to_string(s.side) + " x " + std::to_string(s.side) + " depth " +
                         std::to_string(s.depth));
            test::PictureList list;
            IconImage* source = sourcePicture(list, s);
            Adaptation adaptation = adaptPictures(source, *target, Fit::Scale);
            const std::string change = expectedChange(*target, s);
            EXPECT_EQ(adaptation.changed, !change.empty());
            if (!change.empty()) {
                ASSERT_EQ(adaptation.notes.size(), 1u);
                EXPECT_NE(adaptation.notes[0].find(change), std::string::npos) << adaptation.notes[0];
                EXPECT_EQ(adaptation.notes[0].rfind(pictureName(*source), 0), 0u) << adaptation.notes[0];
                EXPECT_FALSE(adaptation.rule.empty());
            }
            IconImage* images = adaptation.changed ? adaptation.pictures.images() : source;
            const std::string file = path("saved");
            IconAttributes tool{};
            tool.type = 3;
            ASSERT_EQ(saveIcon(file, images, saver.formatId, &tool), 1);
            const host::IconPtr loaded = loadIcon(file);
            ASSERT_TRUE(loaded);

            // A picture read back is the source at the size the target gave
            // it: where the target holds true colour, exactly.
            uint32_t side = std::min(uint32_t(s.side), target->maxSide ? target->maxSide : uint32_t(s.side));
            if (target->onlySizes && change == "scaled to") {  // the nearest size below, else the smallest
                side = target->sizes.front();
                for (const uint32_t size : target->sizes)
                    if (size <= uint32_t(s.side)) side = size;
            }
            const IconImage* largest = nullptr;
            for (const IconImage* image : test::picturesOf(loaded.get()))
                if (image->width == int32_t(side) && (!largest || image->depth > largest->depth)) largest = image;
            ASSERT_TRUE(largest) << "no picture of " << side;
            if (!target->trueColourOnly && !target->onlySizes && saver.name != "WINDOWS") continue;
            const host::Picture expanded = trueColourPicture(*source);
            const auto expected = host::fitToSquare(expanded, side);
            std::string error;
            const auto got = expandPicture(*largest, error);
            ASSERT_TRUE(got) << error;
            EXPECT_EQ(visible(*got), visible(expected->pixels));
        }
    }
}

// An 8-bit picture in the fixed palette of macOS icons is stored as it is,
// and so is one beside a 32-bit picture of its size; off-table sizes are
// centred with --fit pad, and a size the icon already has is not made twice.
TEST_F(AdaptTest, MacTableKeepsWhatItHoldsAndPadsOnRequest) {
    const host::IconTarget& mac = *host::iconTarget("MACOS");
    test::PictureList both, odds;
    IconImage *eight = sourcePicture(both, {8, 32}), *small = sourcePicture(odds, {32, 16});
    sourcePicture(both, {32, 32});
    IconImage* odd = sourcePicture(odds, {32, 20});
    Adaptation kept = adaptPictures(eight, mac, Fit::Scale);
    EXPECT_FALSE(kept.changed);

    eight->next = nullptr;
    std::fill_n(eight->palette, 256, 0);  // black is the fixed palette's last pen
    std::fill_n(test::pensOf(eight), 32 * 32, uint8_t{255});
    EXPECT_FALSE(adaptPictures(eight, mac, Fit::Scale).changed);

    Adaptation padded = adaptPictures(odd, mac, Fit::Pad);
    ASSERT_EQ(padded.notes, (std::vector<std::string>{"20 × 20 centred on 32 × 32"}));
    const IconImage* made = padded.pictures.images();
    ASSERT_EQ(made->width, 32);
    EXPECT_EQ(host::centreOnCanvas(trueColourPicture(*odd), 32, 32).pixels, trueColourPicture(*made).pixels);

    EXPECT_FALSE(adaptPictures(small, mac, Fit::Scale).changed);  // 16 x 16 is there already
}

// Amiga icons: the richest picture and its selected partner go first as
// 32-bit pictures; an icon that already has a 32-bit picture that fits is
// left as it is.
TEST_F(AdaptTest, AmigaTargetsTakeTheRichestPictureWithItsSelectedPartner) {
    test::PictureList list;  // the selected picture is not the 2-bit one's partner: it follows the 8-bit one
    IconImage* classic = sourcePicture(list, {2, 40});
    sourcePicture(list, {8, 40});
    IconImage* selected = sourcePicture(list, {2, 40});
    selected->flags = IconImageSelected;
    Adaptation made = adaptPictures(classic, *host::iconTarget("AMIGAOS40"), Fit::Scale);
    ASSERT_EQ(made.notes, (std::vector<std::string>{
                              "40 × 40 8-bit picture and its selected picture expanded to 32 bits"}));
    const IconImage* first = made.pictures.images();
    EXPECT_EQ(first->depth, 32);
    ASSERT_TRUE(first->next);
    EXPECT_EQ(first->next->flags, uint32_t(IconImageSelected));
    EXPECT_EQ(trueColourPicture(*first->next).pixels, trueColourPicture(*selected).pixels);
    const IconImage* rest = first->next->next;
    EXPECT_EQ(rest->pixels, classic->pixels);  // the icon's own pictures follow, shared

    EXPECT_FALSE(adaptPictures(classic, *host::iconTarget("AMIGAOS35"), Fit::Scale).changed);
    EXPECT_EQ(refusalReason(nullptr, *host::iconTarget("PNG")), "the icon has no pictures");
    EXPECT_EQ(refusalReason(classic, *host::iconTarget("PNG")), "PNG holds only 32-bit pictures; this icon has none");
    test::PictureList alone;
    EXPECT_EQ(refusalReason(sourcePicture(alone, {32, 300}), *host::iconTarget("WINDOWS")),
              "WINDOWS holds pictures up to 256 × 256; this icon has none");
}

}  // namespace
}  // namespace pictra::cli
