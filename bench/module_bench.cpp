// Costs that every format pays: one host call per byte through the byte
// helpers, and the allocation and release of pictures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/host.h"
#include "host/memory.h"
#include "host/services.h"
#include "host/streams.h"
#include "model/icon_image.h"

namespace {

constexpr int32_t kFileBytes = 1 << 20;

HostServices& services() {
    static HostServices table = pictra::host::makeHostServices();
    return table;
}

void useHost() { Host = &services(); }

std::string benchFile(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Bytes per second, and its inverse: the time per byte.
void reportBytes(benchmark::State& state, int64_t bytes) {
    state.SetBytesProcessed(bytes);
    state.counters["time_per_byte"] = benchmark::Counter(
        static_cast<double>(bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The stream services a module may call once per byte.
void BM_ReadStreamByte(benchmark::State& state) {
    useHost();
    std::string path = benchFile("pictra-bench-read.bin");
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<char> bytes(kFileBytes, '\x5A');
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    int64_t bytes = 0;
    for (auto _ : state) {
        StreamHandle in = pictra::host::openStream(path.c_str(), StreamModeRead);
        uint32_t sum = 0;
        for (int32_t i = 0; i < kFileBytes; ++i) sum += static_cast<uint32_t>(ReadStreamByte(in));
        benchmark::DoNotOptimize(sum);
        pictra::host::closeStream(in);
        bytes += kFileBytes;
    }
    reportBytes(state, bytes);
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadStreamByte)->Unit(benchmark::kMillisecond);

void BM_WriteStreamByte(benchmark::State& state) {
    useHost();
    std::string path = benchFile("pictra-bench-write.bin");
    int64_t bytes = 0;
    for (auto _ : state) {
        StreamHandle out = pictra::host::openStream(path.c_str(), StreamModeNewFile);
        for (int32_t i = 0; i < kFileBytes; ++i) WriteStreamByte(out, i & 0xFF);
        pictra::host::closeStream(out);
        bytes += kFileBytes;
    }
    reportBytes(state, bytes);
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteStreamByte)->Unit(benchmark::kMillisecond);

// One picture of side x side at the given depth, allocated and released.
void BM_AllocFreeIconImage(benchmark::State& state) {
    useHost();
    auto side = static_cast<int32_t>(state.range(0));
    auto depth = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        IconImage* head = nullptr;
        IconImage* tail = nullptr;
        IconImage* image = AllocIconImage(nullptr, side, side, depth, -1, 0, &head, &tail);
        benchmark::DoNotOptimize(image);
        if (image) FreeIconImage(image);
    }
    state.SetItemsProcessed(state.iterations());
    if (pictra::host::liveBlockCount() != 0) state.SkipWithError("pictures leaked");
}
BENCHMARK(BM_AllocFreeIconImage)->Args({32, 8})->Args({32, 32})->Args({256, 32});

}  // namespace

// The benchmarks stand for the tool loading file after file, so they run
// with its memory settings.
int main(int argc, char** argv) {
    pictra::host::keepFreedMemory(pictra::host::kToolHeapBlock);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
