// The host's image decoding on its own: one large PNG, the 1024 x 1024 RGBA
// picture of the largest corpus icon (or the file PICTRA_COMPARE_IMAGE
// names, for bench/compare.py), decoded to 0xAARRGGBB words.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <optional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/images.h"
#ifdef PICTRA_BENCH_SYSTEM_CODECS
#include "host/system/codecs.h"
#endif

namespace {

const char* const kLargestIcon = "/icns/amiberry__data_icon.icns";

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The data of the icon's "ic10" element, or nothing.
std::vector<uint8_t> ic10(const std::vector<uint8_t>& icon) {
    for (std::size_t at = 8; icon.size() - at >= 8;) {
        const uint32_t length = big32(&icon[at + 4]);
        if (length < 8 || length > icon.size() - at) break;
        if (big32(&icon[at]) == 0x69633130)  // "ic10"
            return {icon.begin() + long(at + 8), icon.begin() + long(at + length)};
        at += length;
    }
    return {};
}

const std::vector<uint8_t>& benchImage() {
    static const std::vector<uint8_t> bytes = [] {
        if (const char* named = std::getenv("PICTRA_COMPARE_IMAGE")) return fileBytes(named);
        return ic10(fileBytes(std::string(PICTRA_BENCH_CORPUS) + kLargestIcon));
    }();
    return bytes;
}

template <class Decode>
void decodeEach(benchmark::State& state, Decode decode) {
    const std::vector<uint8_t>& bytes = benchImage();
    if (bytes.empty()) return state.SkipWithError("no image");
    for (auto _ : state) {
        std::optional<pictra::host::Picture> picture = decode(bytes);
        if (!picture) return state.SkipWithError("cannot decode the image");
        benchmark::DoNotOptimize(picture->pixels.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_DecodeImage(benchmark::State& state) {
    decodeEach(state, [](const std::vector<uint8_t>& bytes) { return pictra::host::decodeImage(bytes); });
}
BENCHMARK(BM_DecodeImage)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

#ifdef PICTRA_BENCH_SYSTEM_CODECS
// libspng alone, as the PNG decoding was before its fast way.
void BM_DecodePngLibspng(benchmark::State& state) {
    decodeEach(state, [](const std::vector<uint8_t>& bytes) {
        return pictra::host::system::decodePngReference(bytes, nullptr, pictra::host::decodeLimits());
    });
}
BENCHMARK(BM_DecodePngLibspng)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
