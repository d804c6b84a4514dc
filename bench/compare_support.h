// What the benchmarks that bench/compare.py runs share: the files it names
// through PICTRA_COMPARE_LIST (lines "KIND PATH"), and every picture of a
// loaded icon turned into 0xAARRGGBB words, the work an image viewer asks
// for and Pillow's RGBA pictures are timed on.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/module_loader.h"

namespace pictra::bench {

// The listed files of `kind`; empty when the list is not set.
inline std::vector<std::string> listedFiles(int kind) {
    std::vector<std::string> files;
    const char* list = std::getenv("PICTRA_COMPARE_LIST");
    if (!list) return files;
    std::ifstream in(list);
    int fileKind = 0;
    std::string file;
    while (in >> fileKind && std::getline(in >> std::ws, file))
        if (fileKind == kind) files.push_back(file);
    return files;
}

// Every picture of the record as 0xAARRGGBB words in `argb`; the count.
inline std::size_t picturesToArgb(const host::EntryPoints& entry, IconRecord* record, std::vector<uint32_t>& argb) {
    std::size_t pictures = 0;
    for (IconImage* image = entry.getIconImages(record); image; image = image->next, ++pictures) {
        const std::size_t count = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
        argb.resize(count);
        if (image->depth > 8) {
            std::copy_n(static_cast<const uint32_t*>(image->pixels), count, argb.data());
            continue;
        }
        uint32_t colours[256];
        for (int pen = 0; pen < 256; ++pen)
            colours[pen] = image->palette[pen] | (pen == image->transparentPen ? 0u : 0xFF000000u);
        const auto* pens = static_cast<const uint8_t*>(image->pixels);
        for (std::size_t i = 0; i < count; ++i) argb[i] = colours[pens[i]];
    }
    return pictures;
}

// One pass per iteration over the files: each loaded, every picture made
// words, released. The counters give the files and the pictures of a pass.
inline void filesToArgb(benchmark::State& state, const host::EntryPoints& entry,
                        const std::vector<std::string>& files) {
    if (files.empty()) return state.SkipWithError("no files of this kind");
    std::vector<uint32_t> argb;
    int64_t pictures = 0;
    for (auto _ : state)
        for (const std::string& file : files) {
            IconRecord* record = entry.loadIcon(file.c_str(), nullptr);
            if (!record) return state.SkipWithError(("cannot load " + file).c_str());
            pictures += static_cast<int64_t>(picturesToArgb(entry, record, argb));
            benchmark::DoNotOptimize(argb.data());
            entry.freeIcon(record);
        }
    state.SetItemsProcessed(pictures);
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["pictures"] = static_cast<double>(pictures) / static_cast<double>(state.iterations());
}

}  // namespace pictra::bench
