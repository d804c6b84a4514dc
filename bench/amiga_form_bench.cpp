// Colour Amiga icons and PNG icons: loads through the real module beside
// what the host alone spends on the same pixels, and saves in the three
// formats. A FORM ICON load is set against inflating its ARGB chunks plus a
// copy of the pixels; a PNG icon load against the host decoding the file.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/compression.h"
#include "host/images.h"
#include "host/module_loader.h"
#include "host/services.h"

namespace {

namespace fs = std::filesystem;
namespace host = pictra::host;

const char* const kFormIcon = "amiga/os4/yam__YAM_Resources_Certificates.info";  // two 64 x 64 ARGB chunks, a 4 x 4 classic picture
const char* const kPngIcon = "amiga/png/AROS-mirror__development_MinAD_MinAD.info";  // one 128 x 128 PNG
const char* const kPngPair = "amiga/png/mediavault__Cubic_IDE.info";               // two 64 x 64 PNGs

std::string corpusFile(const char* name) { return (fs::path(PICTRA_BENCH_CORPUS) / name).string(); }

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

struct LoadedModule {
    HostServices services = host::makeHostServices();
    std::unique_ptr<host::Module> module;
    LoadedModule() {
        std::string error;
        module = host::Module::open(PICTRA_BENCH_MODULE, error);
        if (module) module->initialise(&services);
    }
};

LoadedModule& loaded() {
    static LoadedModule instance;
    return instance;
}

uint32_t formatId(const char* name) {
    for (const host::Saver& saver : loaded().module->savers())
        if (saver.name == name) return saver.formatId;
    return 0;
}

void loadIcon(benchmark::State& state, const char* name) {
    const host::EntryPoints& entry = loaded().module->entry();
    const std::string path = corpusFile(name);
    for (auto _ : state) {
        IconRecord* icon = entry.loadIcon(path.c_str(), nullptr);
        if (!icon) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(icon);
        entry.freeIcon(icon);
    }
}

void BM_LoadFormIcon(benchmark::State& state) { loadIcon(state, kFormIcon); }
void BM_LoadPngIcon(benchmark::State& state) { loadIcon(state, kPngIcon); }
void BM_LoadPngIconPair(benchmark::State& state) { loadIcon(state, kPngPair); }

// The host's share of a FORM ICON load: every ARGB chunk inflated and its
// pixels copied once, from the file's bytes already in memory.
void BM_HostInflateFormArgb(benchmark::State& state) {
    const std::vector<uint8_t> file = readBytes(corpusFile(kFormIcon));
    const std::string text(file.begin(), file.end());
    std::vector<std::size_t> chunks;
    for (std::size_t at = text.find("ARGB"); at != std::string::npos; at = text.find("ARGB", at + 4))
        chunks.push_back(at + 8);
    std::vector<uint8_t> pixels(64 * 64 * 4);
    std::vector<uint8_t> copy(pixels.size());
    for (auto _ : state) {
        for (std::size_t data : chunks) {
            uint32_t length = static_cast<uint32_t>(pixels.size());
            host::uncompressBlock(pixels.data(), &length, file.data() + data + 10, be32(file.data() + data + 4) + 1);
            std::memcpy(copy.data(), pixels.data(), length);
        }
        benchmark::DoNotOptimize(copy.data());
    }
}

// The host's share of a PNG icon load: the file decoded by name, as the
// reader has it decoded; for the pair, both PNGs.
void hostDecode(benchmark::State& state, const char* name, bool both) {
    const std::string path = corpusFile(name);
    const TagItem tags[] = {{DecodeTagTrueColour, 1}, {TagEnd, 0}};
    const std::vector<uint8_t> file = readBytes(path);
    std::size_t second = 0;
    for (std::size_t at = 8; at + 12 <= file.size(); at += 12 + be32(file.data() + at))
        if (std::memcmp(file.data() + at + 4, "IEND", 4) == 0) {
            second = at + 12;
            break;
        }
    for (auto _ : state) {
        int32_t width = 0, height = 0;
        HostImageHandle image = host::decodeImageFile(path.c_str(), tags, &width, &height, 0);
        benchmark::DoNotOptimize(host::imagePixels(image));
        host::releaseImage(image);
        if (both) benchmark::DoNotOptimize(host::decodeImage(std::span(file).subspan(second)));
    }
}

void BM_HostDecodePngIcon(benchmark::State& state) { hostDecode(state, kPngIcon, false); }
void BM_HostDecodePngIconPair(benchmark::State& state) { hostDecode(state, kPngPair, true); }

// Saving the loaded FORM ICON's pictures in each colour format.
void saveAs(benchmark::State& state, const char* format, int32_t compress) {
    const host::EntryPoints& entry = loaded().module->entry();
    IconAttributes attributes{};
    const TagItem loadTags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)}, {TagEnd, 0}};
    IconRecord* icon = entry.loadIcon(corpusFile(kFormIcon).c_str(), loadTags);
    const std::string out = (fs::temp_directory_path() / "pictra-bench-form.info").string();
    const TagItem tags[] = {{SaveTagFormat, formatId(format)},
                            {SaveTagCompress, static_cast<uintptr_t>(compress)},
                            {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                            {TagEnd, 0}};
    for (auto _ : state)
        if (!icon || !entry.saveIcon(out.c_str(), icon->images, tags)) state.SkipWithError("save failed");
    entry.freeIcon(icon);
    fs::remove(out);
}

void BM_SaveAmigaOS35(benchmark::State& state) { saveAs(state, "AMIGAOS35", 0); }
void BM_SaveAmigaOS35Packed(benchmark::State& state) { saveAs(state, "AMIGAOS35", 1); }
void BM_SaveAmigaOS40(benchmark::State& state) { saveAs(state, "AMIGAOS40", 0); }
void BM_SavePngIcon(benchmark::State& state) { saveAs(state, "PNG", 0); }

}  // namespace

BENCHMARK(BM_LoadFormIcon)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostInflateFormArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadPngIcon)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostDecodePngIcon)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadPngIconPair)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostDecodePngIconPair)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAmigaOS35)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAmigaOS35Packed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAmigaOS40)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SavePngIcon)->Unit(benchmark::kMicrosecond);
