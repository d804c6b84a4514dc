// Fuzz target: the host's PNG decoding, which takes a fast way where it
// can, against libspng alone, from bytes it only reads and from bytes it
// may rearrange. All must take or refuse the same bytes and give the same
// pixels for what they take.
// fuzz-corpus: images
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/image_codecs.h"
#include "host/system/codecs.h"

namespace {

using namespace pictra::host;

// Small caps, as in fuzz_decode_image.
constexpr DecodeLimits kLimits{2048, uint64_t{16} << 20, uint64_t{1} << 30};

// The portable codec set has no fast path: there the target is empty.
[[noreturn, maybe_unused]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_png_fast: %s\n", what);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
#ifndef PICTRA_PORTABLE_CODECS
    const std::span<const uint8_t> bytes(data, size);
    std::string error;
    const std::optional<Picture> reference = system::decodePngReference(bytes, &error, kLimits);
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    const std::optional<Picture> ways[] = {system::decodePng(bytes, &error, kLimits),
                                           system::decodePngInPlace(copy, &error, kLimits)};
    for (const std::optional<Picture>& fast : ways) {
        if (bool(fast) != bool(reference))
            fail(fast ? "took a PNG libspng refuses" : "refused a PNG libspng takes");
        if (fast && (fast->width != reference->width || fast->height != reference->height ||
                     fast->pixels != reference->pixels))
            fail("pixels differ from libspng's");
    }
#else
    (void)data;
    (void)size;
#endif
    return 0;
}
