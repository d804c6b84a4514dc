// Fuzz target: the picture codecs of classic Amiga icons, compiled straight
// in. The first byte picks the codec; the next bytes size the job, the rest
// is the data. Every destination is a block of exactly the size the job
// names, so AddressSanitizer sees any write or read outside it; what is
// decoded is encoded again and must decode to the same values.
// fuzz-corpus: amiga/newicons
// fuzz-module-sources: amiga/planar_codec.cpp amiga/newicons_codec.cpp frame/host.cpp frame/sizes.cpp
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "amiga/newicons_codec.h"
#include "amiga/planar_codec.h"

namespace {

constexpr std::size_t kPlanarHeader = 8;
constexpr std::size_t kNewIconsHeader = 4;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_amiga_codecs: %s\n", what);
    __builtin_trap();
}

// width, height, depth, left, top, canvas width, canvas height (one byte
// each, depth taken modulo 10 so that refusals stay rare), then the planes.
void fuzzPlanar(const uint8_t* data, std::size_t size) {
    if (size < kPlanarHeader) return;
    const PlanarPlacement placement{data[1], data[2], data[3] % 10u, data[4], data[5], data[6], data[7]};
    const std::vector<uint8_t> planes(data + kPlanarHeader, data + size);
    std::vector<uint8_t> canvas(std::size_t(placement.canvasWidth) * placement.canvasHeight, 0);
    const int32_t decoded = DecodePlanarPixels(planes.data(), uint32_t(planes.size()), placement, canvas.data(),
                                               uint32_t(canvas.size()));
    if (!decoded || placement.depth == 0) return;
    uint32_t bytes = 0;
    if (!PlanarBitmapBytes(placement.canvasWidth, placement.canvasHeight, placement.depth, &bytes)) fail("size");
    std::vector<uint8_t> again(bytes);
    if (!EncodePlanarPixels(canvas.data(), uint32_t(canvas.size()), placement.canvasWidth, placement.canvasHeight,
                            placement.depth, again.data(), bytes))
        fail("the decoded canvas does not encode");
    std::vector<uint8_t> back(canvas.size(), 0);
    const PlanarPlacement whole{placement.canvasWidth, placement.canvasHeight, placement.depth, 0, 0,
                                placement.canvasWidth, placement.canvasHeight};
    if (!DecodePlanarPixels(again.data(), bytes, whole, back.data(), uint32_t(back.size())) || back != canvas)
        fail("planar pens do not survive a round trip");
}

// bits (1 to 9), flags (bit 0: first line, bit 1: image 2), count (two
// bytes), then the text as a tool-type block.
void fuzzNewIcons(const uint8_t* data, std::size_t size) {
    if (size < kNewIconsHeader) return;
    const uint32_t bits = 1 + data[1] % 9u;
    const int32_t firstLine = data[2] & 1;
    const uint32_t image = (data[2] >> 1) & 1;
    const uint32_t count = uint32_t(data[3]) << 4;
    const std::vector<char> block(data + kNewIconsHeader, data + size);
    // Room for fewer values than wanted, so the dropping of the rest is used.
    std::vector<uint8_t> values(count / 2 + 1);
    NewIconsCursor cursor{block.data(), uint32_t(block.size()), 0};
    DecodeNewIconValues(&cursor, image, firstLine, bits, count, values.data(), uint32_t(values.size()));
    if (cursor.next > block.size()) fail("the cursor left the block");
    if (bits > 8) return;
    for (uint8_t& value : values) value &= uint8_t((1u << bits) - 1);
    const uint32_t bound = NewIconsEncodedBound(uint32_t(values.size()), bits);
    std::vector<uint8_t> lines(bound);
    uint32_t used = 0, lineCount = 0;
    if (!EncodeNewIconValues(values.data(), uint32_t(values.size()), bits, "IM1=B!!!!", 9, lines.data(), bound,
                             &used, &lineCount))
        fail("the encoder ran out of its bound");
    // The lines as a block of texts: each length word becomes the previous NUL.
    std::vector<char> texts;
    for (std::size_t at = 0; at + 4 <= used;) {
        const uint32_t length = uint32_t(lines[at]) << 24 | uint32_t(lines[at + 1]) << 16 |
                                uint32_t(lines[at + 2]) << 8 | lines[at + 3];
        if (length < 1 || length > NewIconsLineLimit + 1 || at + 4 + length > used) fail("a malformed line");
        texts.insert(texts.end(), lines.begin() + long(at + 4), lines.begin() + long(at + 4 + length));
        at += 4 + length;
    }
    texts.push_back('\0');
    std::vector<uint8_t> back(values.size(), 0xAA);
    NewIconsCursor again{texts.data(), uint32_t(texts.size()), 0};
    if (!DecodeNewIconValues(&again, 0, 1, bits, uint32_t(values.size()), back.data(), uint32_t(back.size())) ||
        back != values)
        fail("NewIcons values do not survive a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Corpus files go whole to the NewIcons decoder: their tool types hold
    // picture lines, NUL-separated as in a tool-type block.
    if (data[0] == 0xE3) {
        std::vector<char> block(data, data + size);
        std::vector<uint8_t> values(4096);
        for (std::size_t at = 0; at + 4 < size; ++at) {
            if (std::memcmp(data + at, "IM1=", 4) != 0) continue;
            NewIconsCursor cursor{block.data(), uint32_t(block.size()), uint32_t(at)};
            DecodeNewIconValues(&cursor, 0, 1, 8, 4096, values.data(), uint32_t(values.size()));
        }
        return 0;
    }
    if (data[0] & 1) fuzzNewIcons(data, size);
    else fuzzPlanar(data, size);
    return 0;
}
