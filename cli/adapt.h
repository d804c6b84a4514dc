// Adapting an icon's pictures to the format it is saved in, where that
// format cannot take a picture as it is: palette pictures it would store
// only through a lossy mapping, or not at all, become 32-bit pictures;
// pictures larger than it holds are scaled down to its largest size; sizes
// a fixed size table lacks are scaled (or centred) to a size it has. Where
// the format takes every picture as it is, nothing changes and the icon's
// own list is saved.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "host/icon_art.h"
#include "host/images.h"
#include "pictra/plugin.h"

namespace pictra::cli {

enum class Fit { Scale, Pad };

// A picture list for the module, built from the icon's pictures (sharing
// their pixels) and pictures made here (owning theirs).
class PictureList {
public:
    // A picture that shares `image`'s pixels and palette.
    void addShared(const IconImage& image);
    // A 32-bit picture that owns its pixels.
    void addOwned(host::Picture picture, uint32_t flags);
    // The first picture, linked to the rest; null when empty. Valid until
    // the next add.
    IconImage* images();
    bool empty() const { return entries_.empty(); }

private:
    struct Entry {
        IconImage image{};
        host::Picture picture;  // the owned pixels, when there are any
    };
    std::deque<Entry> entries_;
};

struct Adaptation {
    bool changed = false;          // else save the icon's own list
    PictureList pictures;          // the list to save when changed
    std::vector<std::string> notes;  // one per change: "1024 × 1024 scaled to 256 × 256"
    std::string rule;              // what of the target made the first change necessary
};

// What saving `images` as `target` needs changed.
Adaptation adaptPictures(const IconImage* images, const host::IconTarget& target, Fit fit);

// Why saving `images` as `target` cannot succeed, in the words of the
// target's rules ("WINDOWS holds pictures up to 256 × 256; this icon has
// none"); empty when no rule explains it.
std::string refusalReason(const IconImage* images, const host::IconTarget& target);

// The picture as a true-colour picture (palette pictures through their
// palette, the transparent pen transparent); throws FileError-free
// std::runtime_error for a picture without valid pixels.
host::Picture trueColourPicture(const IconImage& image);

// "1024 × 1024", with " 8-bit picture" after it for a palette picture.
std::string pictureName(const IconImage& image);

}  // namespace pictra::cli
