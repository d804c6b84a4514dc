// Windows icons through the real module: every corpus icon loaded and each
// picture turned into 0xAARRGGBB words (the work an image viewer asks for),
// by kind of file, and saves with bitmap and with PNG entries.
//
// BM_IcoCorpusToRgba/0 takes the bitmap-only files, /1 those with PNG
// entries. bench/compare.py names the files itself through the environment
// (PICTRA_COMPARE_LIST: lines "KIND PATH", KIND 0 or 1) so that it times
// Pillow on exactly the same ones.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "compare_support.h"
#include "host/module_loader.h"
#include "host/services.h"

namespace {

namespace fs = std::filesystem;

const pictra::host::Module& module() {
    static HostServices services = pictra::host::makeHostServices();
    static std::unique_ptr<pictra::host::Module> loaded = [] {
        std::string error;
        auto opened = pictra::host::Module::open(PICTRA_BENCH_MODULE, error);
        if (opened) opened->initialise(&services);
        return opened;
    }();
    return *loaded;
}

uint32_t windowsFormat() {
    for (const auto& saver : module().savers())
        if (saver.name == "WINDOWS") return saver.formatId;
    return 0;
}

bool hasPngEntry(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 6) return false;
    const std::size_t count = bytes[4] | bytes[5] << 8;
    for (std::size_t i = 0; i < count && 6 + 16 * i + 16 <= bytes.size(); ++i) {
        const unsigned char* r = bytes.data() + 6 + 16 * i + 12;
        const std::size_t offset = r[0] | r[1] << 8 | r[2] << 16 | static_cast<std::size_t>(r[3]) << 24;
        if (offset + 4 <= bytes.size() && bytes[offset] == 0x89 && bytes[offset + 1] == 'P') return true;
    }
    return false;
}

// The files of one kind: those bench/compare.py lists, else the corpus.
std::vector<std::string> icoFiles(int kind) {
    std::vector<std::string> files = pictra::bench::listedFiles(kind);
    if (std::getenv("PICTRA_COMPARE_LIST")) return files;
    for (const auto& entry : fs::directory_iterator(fs::path(PICTRA_BENCH_CORPUS) / "ico"))
        if (entry.is_regular_file() && hasPngEntry(entry.path()) == (kind == 1)) files.push_back(entry.path());
    return files;
}

void BM_IcoCorpusToRgba(benchmark::State& state) {
    pictra::bench::filesToArgb(state, module().entry(), icoFiles(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_IcoCorpusToRgba)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The corpus icon with most entries and most depths, saved again: /0 with
// bitmap entries only, /1 compressed (true colour from 128 pixels as PNG).
void BM_IcoSave(benchmark::State& state) {
    const std::string source = (fs::path(PICTRA_BENCH_CORPUS) / "ico" / "dioptas__reset.ico").string();
    const std::string target = (fs::temp_directory_path() / "pictra-bench-save.ico").string();
    IconRecord* record = module().entry().loadIcon(source.c_str(), nullptr);
    if (!record) {
        state.SkipWithError("cannot load the icon to save");
        return;
    }
    TagItem tags[] = {{SaveTagFormat, windowsFormat()}, {SaveTagCompress, static_cast<uintptr_t>(state.range(0))},
                      {TagEnd, 0}};
    for (auto _ : state)
        if (!module().entry().saveIcon(target.c_str(), record->images, tags)) {
            state.SkipWithError("save failed");
            break;
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::exists(target) ? fs::file_size(target) : 0));
    module().entry().freeIcon(record);
    fs::remove(target);
}
BENCHMARK(BM_IcoSave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
