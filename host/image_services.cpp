// DecodeImageFile, ImagePixels, ReleaseImage and EncodePngFile.
#include <atomic>
#include <memory>

#include "host/images.h"
#include "host/stream_internal.h"
#include "host/tag_list.h"

struct PictraHostImage {
    pictra::host::PixelWords pixels;
};

namespace pictra::host {
namespace {

std::atomic<std::size_t> liveImages{0};

}  // namespace

HostImageHandle decodeImageFile(const char* name, const TagItem* tags, int32_t* width,
                                int32_t* height, uintptr_t) {
    if (width) *width = 0;
    if (height) *height = 0;
    if (!name) return nullptr;
    const bool memoryBlock = tagValue(tags, DecodeTagMemoryBlock).has_value();
    try {
        std::vector<uint8_t> bytes;
        const bool found = memoryBlock ? takeNamedBlock(name, bytes)
                                       : readWholeFile(name, kMaxReadFileBytes, bytes);
        if (!found) return nullptr;
        // The bytes are this call's own copy: the decoder may rearrange them.
        std::optional<Picture> picture = decodeImageInPlace(bytes);
        if (!picture) return nullptr;
        auto image = std::make_unique<PictraHostImage>();
        image->pixels = std::move(picture->pixels);
        // The caps keep both dimensions far below 2^31.
        if (width) *width = static_cast<int32_t>(picture->width);
        if (height) *height = static_cast<int32_t>(picture->height);
        ++liveImages;
        return image.release();
    } catch (...) {
        if (width) *width = 0;
        if (height) *height = 0;
        return nullptr;
    }
}

const uint32_t* imagePixels(HostImageHandle image) {
    return image ? image->pixels.data() : nullptr;
}

void releaseImage(HostImageHandle image) {
    if (!image) return;
    std::unique_ptr<PictraHostImage> owned(image);
    --liveImages;
}

std::size_t liveImageCount() { return liveImages.load(); }

int32_t encodePngFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t, uintptr_t, uintptr_t) {
    if (!name || !pixels || width <= 0 || height <= 0) return 0;
    const std::vector<uint8_t> png =
        encodePng(pixels, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (png.empty()) return 0;
    if (PictraStream* output = findMemoryOutput(name)) return streamWrite(*output, png) ? 1 : 0;
    // A memory-output name that is not live (closed, or made up) is never
    // taken for a file path.
    if (isMemoryOutputName(name)) return 0;
    return writeWholeFile(name, png) ? 1 : 0;
}

}  // namespace pictra::host
