// Image decoding and PNG encoding for the host. Pixels are native 32-bit
// words 0xAARRGGBB, rows from the top without gaps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::host {

// An allocator whose resize() leaves new words as they are: a decoder writes
// every pixel, so clearing them first would only cost a pass over memory.
template <class T>
struct UnclearedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnclearedAllocator<U>;
    };
    UnclearedAllocator() = default;
    template <class U>
    UnclearedAllocator(const UnclearedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// A picture's words. Code that has a plain vector of words may hand it
// over or take one back; both are copies.
class PixelWords : public std::vector<uint32_t, UnclearedAllocator<uint32_t>> {
public:
    using Words = std::vector<uint32_t, UnclearedAllocator<uint32_t>>;
    using Words::Words;
    PixelWords() = default;
    PixelWords(const std::vector<uint32_t>& words) : Words(words.begin(), words.end()) {}
    operator std::vector<uint32_t>() const { return {begin(), end()}; }
    friend bool operator==(const PixelWords& a, const PixelWords& b) {
        return static_cast<const Words&>(a) == static_cast<const Words&>(b);
    }
};

inline bool operator==(const PixelWords& a, const std::vector<uint32_t>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    PixelWords pixels;  // width * height words 0xAARRGGBB
};

// Caps that every decode honours before the decoder allocates anything
// sized by the picture. The defaults fit icons; a host application that
// needs larger pictures raises them with setDecodeLimits().
struct DecodeLimits {
    uint32_t maxDimension = 4096;
    uint64_t maxPixelBytes = uint64_t{64} << 20;  // the picture handed out, 4 bytes a pixel
    // Everything one decode holds at once: the picture handed out and the
    // decoder's own buffers (for JPEG 2000, 4 bytes per sample of every
    // component it builds, and a cost per tile). The default admits a
    // 4096 x 4096 RGBA picture of either format in up to a few thousand tiles.
    uint64_t maxDecodeBytes = uint64_t{384} << 20;
    // The cores one decode may keep busy (large JPEG 2000 pictures are
    // decoded on several); 0 is every core. A host that decodes on several
    // threads of its own gives each its share.
    uint32_t decodeCores = 0;
};

// The caps DecodeImageFile, ConvertPixels and decodeImage() apply; safe to
// change while other threads decode.
DecodeLimits decodeLimits();
void setDecodeLimits(const DecodeLimits& limits);

// Recognises PNG and JPEG 2000 (JP2 box or raw codestream) by content.
// On failure returns nothing and, if `error` is given, says why.
std::optional<Picture> decodeImage(std::span<const uint8_t> bytes, std::string* error = nullptr,
                                   const DecodeLimits& limits = decodeLimits());

// decodeImage() over bytes the decoder may rearrange while it works (their
// content is unspecified afterwards), which spares it a copy of the data.
std::optional<Picture> decodeImageInPlace(std::span<uint8_t> bytes, std::string* error = nullptr,
                                          const DecodeLimits& limits = decodeLimits());

// An RGBA PNG of the picture; the file ends with the plain 12-byte IEND
// chunk. Empty on failure.
std::vector<uint8_t> encodePng(const uint32_t* pixels, uint32_t width, uint32_t height);

// The image services of the host tables.
//
// DecodeImageFile: with tag 5 (DecodeTagMemoryBlock) present, `name` must be
// a live memory-block name and nothing else; without it, `name` is a file
// path and is never looked up among memory names. Pixels are always handed
// out as 0xAARRGGBB words. Width and height are set to 0 on failure.
HostImageHandle decodeImageFile(const char* name, const TagItem* tags, int32_t* width,
                                int32_t* height, uintptr_t reserved);
const uint32_t* imagePixels(HostImageHandle image);
void releaseImage(HostImageHandle image);
std::size_t liveImageCount();  // decoded images not yet released
// EncodePngFile: `name` is a live memory-output name (the PNG is written at
// the output's position) or else a file path (created or truncated); a name
// in the memory-output namespace that is not live fails. The
// alpha argument is ignored: the PNG is always RGBA. 1 on success, 0 on
// failure.
int32_t encodePngFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t alpha, uintptr_t reserved5, uintptr_t reserved6);

}  // namespace pictra::host
