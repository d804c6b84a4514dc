// macOS icons: loads of real files of each kind through the module, saves,
// and the channel packing on its own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "compare_support.h"
#include "host/module_loader.h"
#include "host/services.h"
#include "macos/icns_channels.h"

namespace {

namespace fs = std::filesystem;

// Corpus files of the three kinds: packed pictures only, PNG elements,
// JPEG 2000 elements.
const char* const kPackedFile = "icns/python3-xraylarch__larch.icns";
const char* const kPngFile = "icns/BigSur-icons__icons_Nutstore.icns";
const char* const kJpeg2000File = "icns/nagstamon__nagstamon.icns";

struct LoadedModule {
    HostServices services = pictra::host::makeHostServices();
    std::unique_ptr<pictra::host::Module> module;
    uint32_t macFormat = 0;
};

LoadedModule* macModule() {
    static LoadedModule loaded;
    if (!loaded.module) {
        std::string error;
        loaded.module = pictra::host::Module::open(PICTRA_BENCH_MODULE, error);
        if (loaded.module && !loaded.module->initialise(&loaded.services)) loaded.module.reset();
        if (loaded.module)
            for (const auto& saver : loaded.module->savers())
                if (saver.name == "MACOS") loaded.macFormat = saver.formatId;
    }
    return loaded.module ? &loaded : nullptr;
}

std::string corpusFile(const char* leaf) { return (fs::path(PICTRA_BENCH_CORPUS) / leaf).string(); }

// LoadIcon of the whole file, every picture decoded, and FreeIcon.
void BM_IcnsLoad(benchmark::State& state, const char* leaf) {
    LoadedModule* loaded = macModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const std::string file = corpusFile(leaf);
    const auto& entry = loaded->module->entry();
    for (auto _ : state) {
        IconRecord* record = entry.loadIcon(file.c_str(), nullptr);
        if (!record) return state.SkipWithError("load failed");
        benchmark::DoNotOptimize(record->images);
        entry.freeIcon(record);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK_CAPTURE(BM_IcnsLoad, packed, kPackedFile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IcnsLoad, png, kPngFile)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_IcnsLoad, jpeg2000, kJpeg2000File)->Unit(benchmark::kMillisecond);

// Kinds of file: 0 packed pictures only, 1 with PNG elements, 2 with JPEG
// 2000 elements (whatever else they hold). bench/compare.py names the files.
int icnsKind(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    int kind = 0;
    for (std::size_t at = 8; at + 20 <= bytes.size();) {
        const std::size_t length = std::size_t{bytes[at + 4]} << 24 | std::size_t{bytes[at + 5]} << 16 |
                                   std::size_t{bytes[at + 6]} << 8 | bytes[at + 7];
        if (length < 8 || length > bytes.size() - at) break;
        const uint8_t* data = bytes.data() + at + 8;
        if ((data[0] == 0xFF && data[1] == 0x4F) || (data[4] == 'j' && data[5] == 'P'))
            kind = 2;
        else if (data[0] == 0x89 && data[1] == 'P' && kind == 0)
            kind = 1;
        at += length;
    }
    return kind;
}

std::vector<std::string> icnsFiles(int kind) {
    std::vector<std::string> files = pictra::bench::listedFiles(kind);
    if (std::getenv("PICTRA_COMPARE_LIST")) return files;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_BENCH_CORPUS) / "icns"))
        if (icnsKind(entry.path().string()) == kind) files.push_back(entry.path().string());
    return files;
}

// Every corpus file of a kind loaded and each picture made RGBA words.
void BM_IcnsCorpusToRgba(benchmark::State& state) {
    LoadedModule* loaded = macModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    pictra::bench::filesToArgb(state, loaded->module->entry(), icnsFiles(static_cast<int>(state.range(0))));
}
// Processor time of the whole process: JPEG 2000 decodes on several threads.
BENCHMARK(BM_IcnsCorpusToRgba)->Arg(0)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The pictures of a loaded file saved as a new macOS icon.
void BM_IcnsSave(benchmark::State& state, const char* leaf) {
    LoadedModule* loaded = macModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const auto& entry = loaded->module->entry();
    IconRecord* record = entry.loadIcon(corpusFile(leaf).c_str(), nullptr);
    if (!record) return state.SkipWithError("load failed");
    const std::string out = (fs::temp_directory_path() / "pictra-bench-save.icns").string();
    TagItem tags[] = {{SaveTagFormat, loaded->macFormat}, {TagEnd, 0}};
    for (auto _ : state)
        if (!entry.saveIcon(out.c_str(), entry.getIconImages(record), tags)) state.SkipWithError("save failed");
    entry.freeIcon(record);
    std::remove(out.c_str());
}
BENCHMARK_CAPTURE(BM_IcnsSave, packed, kPackedFile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IcnsSave, png, kPngFile)->Unit(benchmark::kMillisecond);

// The it32 element of the packed file, its 128 x 128 pixels.
std::vector<uint8_t> packedLargest() {
    std::ifstream in(corpusFile(kPackedFile), std::ios::binary);
    std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (std::size_t at = 8; at + 8 <= file.size();) {
        const std::size_t length = std::size_t{file[at + 4]} << 24 | std::size_t{file[at + 5]} << 16 |
                                   std::size_t{file[at + 6]} << 8 | file[at + 7];
        if (length < 8 || length > file.size() - at) break;
        if (std::string(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at) + 4) == "it32")
            return {file.begin() + static_cast<long>(at) + 8, file.begin() + static_cast<long>(at + length)};
        at += length;
    }
    return {};
}

void BM_UnpackIcnsChannels(benchmark::State& state) {
    const std::vector<uint8_t> data = packedLargest();
    if (data.empty()) return state.SkipWithError("no it32 element");
    std::vector<uint32_t> pixels(128 * 128);
    std::vector<uint8_t> planes(3 * 128 * 128);
    for (auto _ : state) {
        UnpackIcnsChannels(data.data(), static_cast<uint32_t>(data.size()), planes.data(), pixels.data(), 128 * 128);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 128 * 128);
}
BENCHMARK(BM_UnpackIcnsChannels)->Unit(benchmark::kMicrosecond);

void BM_PackIcnsChannels(benchmark::State& state) {
    const std::vector<uint8_t> data = packedLargest();
    if (data.empty()) return state.SkipWithError("no it32 element");
    std::vector<uint32_t> pixels(128 * 128);
    std::vector<uint8_t> planes(3 * 128 * 128);
    UnpackIcnsChannels(data.data(), static_cast<uint32_t>(data.size()), planes.data(), pixels.data(), 128 * 128);
    std::vector<uint8_t> out(PackedChannelsBound(128 * 128));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            PackIcnsChannels(pixels.data(), 128 * 128, out.data(), static_cast<uint32_t>(out.size())));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 128 * 128);
}
BENCHMARK(BM_PackIcnsChannels)->Unit(benchmark::kMicrosecond);

}  // namespace
