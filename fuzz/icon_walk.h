// Walks what a loaded icon hands out, for the fuzz targets and the damage
// sweep: every picture, palette and text is read to the last byte its sizes
// declare (so a reader that overstates a size trips AddressSanitizer), and
// fingerprints tell whether two loads or two picture lists are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "pictra/plugin.h"

namespace pictra::test {

inline volatile uint8_t walkSink;

inline void touchBytes(const void* block, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum ^= bytes[i];
    walkSink = sum;
}

inline bool isIndexed(const IconImage& image) { return image.depth >= 1 && image.depth <= 8; }

inline std::size_t pixelBytes(const IconImage& image) {
    const std::size_t count = std::size_t(image.width) * std::size_t(image.height);
    return isIndexed(image) ? count : count * 4;
}

// Reads every picture; the text names the first picture a record cannot
// hold (negative size, a depth other than 1-8 or 32), empty when all are sound.
inline std::string walkImages(const IconImage* image) {
    for (int index = 0; image; image = image->next, ++index) {
        const std::string which = "picture " + std::to_string(index) + ": ";
        if (image->width < 0 || image->height < 0) return which + "a negative size";
        if (!isIndexed(*image) && image->depth != 32)
            return which + "depth " + std::to_string(image->depth);
        if (pixelBytes(*image) != 0 && !image->pixels) return which + "no pixels";
        if (isIndexed(*image) && !image->palette) return which + "no palette";
        touchBytes(image->pixels, pixelBytes(*image));
        if (isIndexed(*image)) touchBytes(image->palette, 256 * 4);
    }
    return {};
}

inline void walkAttributes(const IconAttributes& attributes) {
    if (attributes.defaultTool) touchBytes(attributes.defaultTool, std::strlen(attributes.defaultTool) + 1);
    for (char** text = attributes.toolTypes; text && *text; ++text) touchBytes(*text, std::strlen(*text) + 1);
}

// What a load under the default budget may hand out: at most
// LoadBudgetPictures pictures holding at most LoadBudgetPictureBytes bytes of
// pixels and palettes between them. Empty when the list keeps to it, else
// the fault.
inline std::string budgetFault(const IconImage* image) {
    std::size_t pictures = 0, bytes = 0;
    for (; image; image = image->next) {
        ++pictures;
        bytes += pixelBytes(*image) + (isIndexed(*image) ? 256 * 4 : 0);
    }
    if (pictures > LoadBudgetPictures) return std::to_string(pictures) + " pictures, past the load budget";
    if (bytes > std::size_t(LoadBudgetPictureBytes))
        return std::to_string(bytes) + " bytes of pictures, past the load budget";
    return {};
}

// The module memory a load of an input of `inputBytes` may hold at once: the
// pictures of the default budget, and a few times the input for the readers'
// own tables and buffers (a tool-type array takes a pointer for every four
// bytes of the file).
inline std::size_t loadPeakBound(std::size_t inputBytes) {
    return std::size_t(LoadBudgetPictureBytes) + 8 * inputBytes + (std::size_t{16} << 20);
}

// FNV-1a, 64 bits.
class Fingerprint {
public:
    void add(const void* block, std::size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(block);
        for (std::size_t i = 0; i < size; ++i) hash_ = (hash_ ^ bytes[i]) * 0x100000001b3u;
    }
    void addWord(int64_t value) { add(&value, sizeof value); }
    void addText(const char* text) {
        addWord(text ? int64_t(std::strlen(text)) : -1);
        if (text) add(text, std::strlen(text));
    }
    // Everything of the pictures but the writers' `mark` scratch words.
    void addImages(const IconImage* image) {
        for (; image; image = image->next) {
            for (int64_t field : {int64_t(image->width), int64_t(image->height),
                                  int64_t(image->depth), int64_t(image->flags),
                                  int64_t(image->transparentPen)})
                addWord(field);
            add(image->pixels, pixelBytes(*image));
            if (isIndexed(*image)) add(image->palette, 256 * 4);
        }
    }
    void addAttributes(const IconAttributes& a) {
        for (int64_t field : {a.type, a.drawerViewMode, a.currentX, a.currentY, a.drawerLeft,
                              a.drawerTop, a.drawerWidth, a.drawerHeight, a.stackSize,
                              a.drawerShowAll})
            addWord(field);
        addText(a.defaultTool);
        for (char** text = a.toolTypes; text && *text; ++text) addText(*text);
    }
    uint64_t value() const { return hash_; }

private:
    uint64_t hash_ = 0xcbf29ce484222325u;
};

}  // namespace pictra::test
