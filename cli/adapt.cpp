#include "adapt.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <fmt/core.h>

#include "extract.h"
#include "host/resample.h"
#include "icon_file.h"
#include "module/macos/mac_palettes.h"

namespace pictra::cli {

namespace {

constexpr int32_t kTrueColourDepth = 32;

bool isPalette(const IconImage& image) { return image.depth >= 1 && image.depth <= 8 && image.palette; }
bool isSelected(const IconImage& image) { return (image.flags & IconImageSelected) != 0; }
bool isSquareOf(const IconImage& image, uint32_t side) {
    return image.width == int32_t(side) && image.height == int32_t(side);
}
bool fitsIn(const IconImage& image, uint32_t side) {
    return side == 0 || (image.width <= int32_t(side) && image.height <= int32_t(side));
}

std::vector<const IconImage*> listOf(const IconImage* images) {
    std::vector<const IconImage*> list;
    for (const IconImage* image = images; image; image = image->next) {
        if (list.size() == kMaxListLength) throw std::runtime_error("the icon's picture list does not end");
        list.push_back(image);
    }
    return list;
}

std::string sizeName(uint32_t width, uint32_t height) { return fmt::format("{} × {}", width, height); }

host::Picture scaledToSide(const host::Picture& picture, uint32_t side) {
    auto scaled = host::scaleToSide(picture, side);
    if (!scaled) throw std::runtime_error("a picture is too large to scale");
    return std::move(*scaled);
}

// "16, 32 and 48".
std::string sizeList(std::span<const uint32_t> sizes) {
    std::string out;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        out += fmt::format("{}{}", i == 0 ? "" : i + 1 == sizes.size() ? " and " : ", ", sizes[i]);
    return out;
}

std::string limitRule(const host::IconTarget& target) {
    return fmt::format("{} holds pictures up to {}", target.saver, sizeName(target.maxSide, target.maxSide));
}

std::string tableRule(const host::IconTarget& target) {
    return fmt::format("{} holds only square pictures of {} pixels", target.saver, sizeList(target.sizes));
}

std::string trueColourRule(const host::IconTarget& target) {
    return fmt::format("{} holds only 32-bit pictures{}", target.saver,
                       target.maxSide ? " up to " + sizeName(target.maxSide, target.maxSide) : "");
}

// Every pen the picture shows already has its colour in the fixed palette
// of macOS icons: the writer stores it without mapping.
bool showsMacPalette(const IconImage& image) {
    if (image.depth != 8) return false;
    const auto* pens = static_cast<const uint8_t*>(image.pixels);
    const std::size_t count = std::size_t(image.width) * std::size_t(image.height);
    for (std::size_t i = 0; i < count; ++i)
        if (pens[i] != image.transparentPen && (image.palette[pens[i]] & 0xFFFFFF) != MacPalette256.colours[pens[i]])
            return false;
    return true;
}

// Notes a change; the first change names the rule that made it necessary.
void note(Adaptation& result, std::string text, const std::string& rule) {
    if (result.notes.empty()) result.rule = rule;
    result.notes.push_back(std::move(text));
    result.changed = true;
}

// Pictures wider or taller than the target holds become 32-bit pictures
// scaled down to its largest size, unless one of that size is there already.
void adaptToLimit(const std::vector<const IconImage*>& list, const host::IconTarget& target, Adaptation& result) {
    for (const IconImage* image : list) {
        if (fitsIn(*image, target.maxSide)) {
            result.pictures.addShared(*image);
            continue;
        }
        const std::pair<uint32_t, uint32_t> size =
            host::sizeWithin(uint32_t(image->width), uint32_t(image->height), target.maxSide);
        const bool present = std::any_of(list.begin(), list.end(), [&](const IconImage* other) {
            return other->width == int32_t(size.first) && other->height == int32_t(size.second);
        });
        if (present) {  // the writer leaves it out, as it always has
            result.pictures.addShared(*image);
            continue;
        }
        host::Picture scaled = scaledToSide(trueColourPicture(*image), target.maxSide);
        note(result, fmt::format("{} scaled to {}", pictureName(*image), sizeName(scaled.width, scaled.height)),
             limitRule(target));
        result.pictures.addOwned(std::move(scaled), image->flags);
    }
}

// The table size an off-table picture goes to: the nearest below (scaling;
// the smallest when none is) or the nearest above (padding; scaling to the
// largest when none is). Second: whether it is centred rather than scaled.
std::pair<uint32_t, bool> tableSizeFor(const IconImage& image, std::span<const uint32_t> sizes, Fit fit) {
    const auto longer = uint32_t(std::max(image.width, image.height));
    if (fit == Fit::Pad)
        for (const uint32_t size : sizes)
            if (size >= longer) return {size, true};
    uint32_t below = sizes.front();
    for (const uint32_t size : sizes)
        if (size <= longer) below = size;
    return {below, false};
}

// A fixed table of square sizes: palette pictures the writer would map onto
// the fixed palette, or leave out, become 32-bit pictures where no 32-bit
// picture of their size is there; pictures of other sizes are scaled or
// centred to a table size that no picture has.
void adaptToTable(const std::vector<const IconImage*>& list, const host::IconTarget& target, Fit fit,
                  Adaptation& result) {
    const auto hasSize = [&](uint32_t side, bool trueColourOnly) {
        return std::any_of(list.begin(), list.end(), [&](const IconImage* other) {
            return !isSelected(*other) && isSquareOf(*other, side) &&
                   (!trueColourOnly || other->depth == kTrueColourDepth);
        });
    };
    std::vector<uint32_t> made;
    for (const IconImage* image : list) {
        const auto side = uint32_t(image->width);
        const bool inTable = image->width == image->height &&
                             std::find(target.sizes.begin(), target.sizes.end(), side) != target.sizes.end();
        if (isSelected(*image) || (inTable && (!isPalette(*image) || showsMacPalette(*image) || hasSize(side, true)))) {
            result.pictures.addShared(*image);
            continue;
        }
        if (inTable) {
            note(result, pictureName(*image) + " expanded to 32 bits",
                 fmt::format("{} stores palette pictures only in its fixed palette of 256 colours", target.saver));
            result.pictures.addOwned(trueColourPicture(*image), image->flags);
            continue;
        }
        const auto [size, centred] = tableSizeFor(*image, target.sizes, fit);
        if (hasSize(size, false) || std::find(made.begin(), made.end(), size) != made.end()) {
            result.pictures.addShared(*image);  // left out by the writer, as it always was
            continue;
        }
        const host::Picture picture = trueColourPicture(*image);
        note(result,
             fmt::format("{} {} {}", pictureName(*image), centred ? "centred on" : "scaled to", sizeName(size, size)),
             tableRule(target));
        auto fitted = centred ? std::optional(host::centreOnCanvas(picture, size, size)) : host::fitToSquare(picture, size);
        if (!fitted) throw std::runtime_error("a picture is too large to scale");
        result.pictures.addOwned(std::move(*fitted), image->flags);
        made.push_back(size);
    }
}

// The picture an icon of one picture set is best made from: a 32-bit one
// first, then the deepest, then the largest; the first of equals.
const IconImage* richestNormal(const std::vector<const IconImage*>& list) {
    const IconImage* best = nullptr;
    const auto rank = [](const IconImage* image) {
        return std::pair(image->depth, int64_t{image->width} * image->height);
    };
    for (const IconImage* image : list)
        if (!isSelected(*image) && (!best || rank(image) > rank(best))) best = image;
    return best;
}

// One picture set (Amiga icons): when the richest picture does not fit, or
// the target takes only 32-bit pictures and none fits, the richest picture
// and its selected partner go first in the list as 32-bit pictures that fit.
void adaptToOneSet(const std::vector<const IconImage*>& list, const host::IconTarget& target, Adaptation& result) {
    const IconImage* best = richestNormal(list);
    const bool trueColourFits = std::any_of(list.begin(), list.end(), [&](const IconImage* image) {
        return !isSelected(*image) && image->depth == kTrueColourDepth && fitsIn(*image, target.maxSide);
    });
    const bool needed = best && (target.trueColourOnly ? !trueColourFits
                                                       : !fitsIn(*best, target.maxSide) && !trueColourFits);
    if (needed) {
        auto next = std::find(list.begin(), list.end(), best) + 1;
        const IconImage* partner = next != list.end() && isSelected(**next) && (*next)->width == best->width &&
                                           (*next)->height == best->height
                                       ? *next
                                       : nullptr;
        std::string change = pictureName(*best) + (partner ? " and its selected picture" : "");
        if (isPalette(*best)) change += " expanded to 32 bits";
        for (const IconImage* image : {best, partner}) {
            if (!image) continue;
            host::Picture picture = trueColourPicture(*image);
            if (!fitsIn(*image, target.maxSide)) picture = scaledToSide(picture, target.maxSide);
            if (image == best && !fitsIn(*image, target.maxSide))
                change += fmt::format("{}scaled to {}", isPalette(*best) ? " and " : " ",
                                      sizeName(picture.width, picture.height));
            result.pictures.addOwned(std::move(picture), image->flags);
        }
        note(result, change,
             target.trueColourOnly ? trueColourRule(target) : limitRule(target));
    }
    for (const IconImage* image : list) result.pictures.addShared(*image);
}

}  // namespace

void PictureList::addShared(const IconImage& image) {
    Entry& entry = entries_.emplace_back();
    entry.image = image;
    entry.image.next = nullptr;
    entry.image.mark = 0;
}

void PictureList::addOwned(host::Picture picture, uint32_t flags) {
    Entry& entry = entries_.emplace_back();
    entry.picture = std::move(picture);
    entry.image = IconImage{nullptr,   entry.picture.pixels.data(), int32_t(entry.picture.width),
                            int32_t(entry.picture.height), flags, nullptr, -1, kTrueColourDepth, 0};
}

IconImage* PictureList::images() {
    for (std::size_t i = 0; i + 1 < entries_.size(); ++i) entries_[i].image.next = &entries_[i + 1].image;
    return entries_.empty() ? nullptr : &entries_.front().image;
}

host::Picture trueColourPicture(const IconImage& image) {
    std::string error;
    auto pixels = expandPicture(image, error);
    if (!pixels) throw std::runtime_error(error);
    return host::Picture{uint32_t(image.width), uint32_t(image.height), std::move(*pixels)};
}

std::string pictureName(const IconImage& image) {
    return sizeName(uint32_t(image.width), uint32_t(image.height)) +
           (isPalette(image) ? fmt::format(" {}-bit picture", image.depth) : "");
}

Adaptation adaptPictures(const IconImage* images, const host::IconTarget& target, Fit fit) {
    Adaptation result;
    const std::vector<const IconImage*> list = listOf(images);
    if (target.sizes.empty())
        adaptToOneSet(list, target, result);
    else if (target.onlySizes)
        adaptToTable(list, target, fit, result);
    else
        adaptToLimit(list, target, result);
    return result;
}

std::string refusalReason(const IconImage* images, const host::IconTarget& target) {
    const std::vector<const IconImage*> list = listOf(images);
    if (list.empty()) return "the icon has no pictures";
    const auto none = [&](auto&& takes) { return std::none_of(list.begin(), list.end(), takes); };
    if (target.trueColourOnly) {
        if (none([&](const IconImage* i) { return i->depth == kTrueColourDepth && fitsIn(*i, target.maxSide); }))
            return trueColourRule(target) + "; this icon has none";
    } else if (target.onlySizes) {
        if (none([&](const IconImage* i) {
                return std::any_of(target.sizes.begin(), target.sizes.end(),
                                   [&](uint32_t side) { return isSquareOf(*i, side); });
            }))
            return tableRule(target) + "; this icon has none";
    } else if (none([&](const IconImage* i) { return fitsIn(*i, target.maxSide); })) {
        return limitRule(target) + "; this icon has none";
    }
    return {};
}

}  // namespace pictra::cli
