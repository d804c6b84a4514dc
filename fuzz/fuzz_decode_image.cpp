// Fuzz target: any bytes through the host's image decoding, under every
// codec set the build has. Both sets must take or refuse a PNG alike (the
// portable set has no JPEG 2000 decoder), and agree on the pixels of what
// both take.
// fuzz-corpus: images
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "host/image_codecs.h"
#include "host/images.h"

namespace {

using namespace pictra::host;

// Small caps, so that a header claiming a huge picture is refused rather
// than driving the fuzzer out of memory. The memory budget is left wide:
// the two sets need different amounts, and the caps above bind both alike.
constexpr DecodeLimits kLimits{2048, uint64_t{16} << 20, uint64_t{1} << 30};
constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[noreturn]] void fail(const char* set, const char* what) {
    std::fprintf(stderr, "fuzz_decode_image: %s codecs: %s\n", set, what);
    __builtin_trap();
}

volatile uint32_t sink;

std::optional<Picture> decodeWith(const CodecSet& codecs, std::span<const uint8_t> bytes) {
    std::string error;
    std::optional<Picture> picture = decodeImageWith(codecs, bytes, &error, kLimits);
    if (!picture) {
        if (error.empty()) fail(codecs.name, "failed without a reason");
        return picture;
    }
    if (picture->width == 0 || picture->height == 0 || picture->width > kLimits.maxDimension ||
        picture->height > kLimits.maxDimension)
        fail(codecs.name, "a picture outside the caps");
    if (picture->pixels.size() != std::size_t{picture->width} * picture->height)
        fail(codecs.name, "pixel count differs from the size");
    uint32_t sum = 0;
    for (uint32_t pixel : picture->pixels) sum ^= pixel;
    sink = sum;
    return picture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
#ifdef PICTRA_PORTABLE_CODECS
    decodeWith(portableCodecs(), bytes);
#else
    const auto system = decodeWith(systemCodecs(), bytes);
    const auto portable = decodeWith(portableCodecs(), bytes);
    const bool png = size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
    if (png && bool(system) != bool(portable))
        fail(system ? "portable" : "system", "refused a PNG that the other set decodes");
    if (system && portable &&
        (system->width != portable->width || system->height != portable->height ||
         system->pixels != portable->pixels))
        fail("system and portable", "different pictures from the same bytes");
#endif
    return 0;
}
