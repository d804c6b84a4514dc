// Amiga icons: every classic, NewIcons and FORM ICON file of the corpus
// loaded, turned into RGBA pictures, and saved as "AMIGAOS" and "NEWICON".
// Each benchmark runs over all files per iteration and reports, besides the
// time of a whole pass, the median and the slowest file in microseconds of
// the thread's processor time, which other work on a shared machine does not
// inflate as it does the wall-clock time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "compare_support.h"
#include "host/module_loader.h"
#include "host/services.h"

namespace {

namespace fs = std::filesystem;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct AmigaModule {
    HostServices services = pictra::host::makeHostServices();
    std::unique_ptr<pictra::host::Module> module;
    uint32_t amigaOS = 0, newIcon = 0;
    std::vector<std::string> files;  // the corpus Amiga icons that load
};

AmigaModule* amigaModule() {
    static AmigaModule loaded;
    if (loaded.module) return &loaded;
    std::string error;
    loaded.module = pictra::host::Module::open(PICTRA_BENCH_MODULE, error);
    if (loaded.module && !loaded.module->initialise(&loaded.services)) loaded.module.reset();
    if (!loaded.module) return nullptr;
    for (const auto& saver : loaded.module->savers()) {
        if (saver.name == "AMIGAOS") loaded.amigaOS = saver.formatId;
        if (saver.name == "NEWICON") loaded.newIcon = saver.formatId;
    }
    for (const char* folder : {"classic", "newicons", "os35", "os4"})
        for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_BENCH_CORPUS) / "amiga" / folder))
            loaded.files.push_back(entry.path().string());
    std::sort(loaded.files.begin(), loaded.files.end());
    return &loaded;
}

// Runs `work` on every file once per iteration; the counters give the
// median and the largest of each file's mean time.
template <typename Work>
void overCorpus(benchmark::State& state, AmigaModule* loaded, Work work) {
    std::vector<double> seconds(loaded->files.size(), 0.0);
    for (auto _ : state)
        for (std::size_t i = 0; i < loaded->files.size(); ++i) {
            const double start = threadSeconds();
            if (!work(loaded->files[i])) return state.SkipWithError(("failed: " + loaded->files[i]).c_str());
            seconds[i] += threadSeconds() - start;
        }
    std::vector<double> perFile;
    for (double total : seconds) perFile.push_back(total / static_cast<double>(state.iterations()) * 1e6);
    std::sort(perFile.begin(), perFile.end());
    state.counters["files"] = static_cast<double>(perFile.size());
    state.counters["median_us"] = perFile[perFile.size() / 2];
    state.counters["max_us"] = perFile.back();
}

void BM_AmigaLoad(benchmark::State& state) {
    AmigaModule* loaded = amigaModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const auto& entry = loaded->module->entry();
    overCorpus(state, loaded, [&](const std::string& file) {
        IconAttributes attributes{};
        const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)}, {TagEnd, 0}};
        IconRecord* record = entry.loadIcon(file.c_str(), tags);
        if (!record) return false;
        benchmark::DoNotOptimize(record->images);
        entry.freeIcon(record);
        return true;
    });
}
BENCHMARK(BM_AmigaLoad)->Unit(benchmark::kMillisecond);

// Every picture as 0xAARRGGBB words, the transparent pen with alpha 0.
void BM_AmigaLoadToRgba(benchmark::State& state) {
    AmigaModule* loaded = amigaModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const auto& entry = loaded->module->entry();
    std::vector<uint32_t> argb;
    overCorpus(state, loaded, [&](const std::string& file) {
        IconRecord* record = entry.loadIcon(file.c_str(), nullptr);
        if (!record) return false;
        pictra::bench::picturesToArgb(entry, record, argb);
        benchmark::DoNotOptimize(argb.data());
        entry.freeIcon(record);
        return true;
    });
}
BENCHMARK(BM_AmigaLoadToRgba)->Unit(benchmark::kMillisecond);

// The corpus folders by kind, as bench/compare.py lists them: 0 classic,
// 1 NewIcons, 2 OS 3.5, 3 OS 4, 4 PNG icons.
void BM_AmigaCorpusToRgba(benchmark::State& state) {
    AmigaModule* loaded = amigaModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const auto kind = static_cast<int>(state.range(0));
    std::vector<std::string> files = pictra::bench::listedFiles(kind);
    if (!std::getenv("PICTRA_COMPARE_LIST")) {
        const char* const folders[] = {"classic", "newicons", "os35", "os4", "png"};
        for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_BENCH_CORPUS) / "amiga" / folders[kind]))
            files.push_back(entry.path().string());
    }
    pictra::bench::filesToArgb(state, loaded->module->entry(), files);
}
BENCHMARK(BM_AmigaCorpusToRgba)->DenseRange(0, 4)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Loads once, then times only the saves. Icons without a picture of at
// most 93 x 93 cannot be NewIcons; they count as saved when refused.
void BM_AmigaSave(benchmark::State& state, bool newIcons) {
    AmigaModule* loaded = amigaModule();
    if (!loaded) return state.SkipWithError("cannot load the module");
    const auto& entry = loaded->module->entry();
    const std::string out = (fs::temp_directory_path() / "pictra-bench-save.info").string();
    overCorpus(state, loaded, [&](const std::string& file) {
        IconAttributes attributes{};
        const TagItem loadTags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)}, {TagEnd, 0}};
        IconRecord* record = entry.loadIcon(file.c_str(), loadTags);
        if (!record) return false;
        const TagItem tags[] = {{SaveTagFormat, newIcons ? loaded->newIcon : loaded->amigaOS},
                                {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                                {TagEnd, 0}};
        const int32_t saved = entry.saveIcon(out.c_str(), entry.getIconImages(record), tags);
        entry.freeIcon(record);
        return saved == 1 || newIcons;
    });
    std::remove(out.c_str());
}
BENCHMARK_CAPTURE(BM_AmigaSave, amigaos, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AmigaSave, newicon, true)->Unit(benchmark::kMillisecond);

}  // namespace
