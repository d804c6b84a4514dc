// What every fuzz target that drives the real pictra.vxm shares: the module
// loaded and initialised once per process, a private folder for the files
// the target writes, loads that read every byte a record declares, and the
// check that nothing is left behind afterwards.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/images.h"
#include "host/memory.h"
#include "host/module_loader.h"
#include "host/services.h"
#include "host/streams.h"
#include "fuzz/icon_walk.h"

namespace pictra::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    __builtin_trap();
}

class ModuleHarness {
public:
    ModuleHarness() {
        std::string error;
        module_ = host::Module::open(host::findModulePath(""), error);
        if (!module_) fail("cannot load the module: " + error);
        if (!module_->initialise(&services_)) fail("InitPlugin failed");
        savers_ = module_->savers();
        std::string pattern = (fs::temp_directory_path() / "pictra-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) fail("cannot make a temporary folder");
        folder_ = pattern;
    }
    ~ModuleHarness() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    ModuleHarness(const ModuleHarness&) = delete;
    ModuleHarness& operator=(const ModuleHarness&) = delete;

    const host::EntryPoints& entry() const { return module_->entry(); }
    const std::vector<host::Saver>& savers() const { return savers_; }
    std::string file(const std::string& leaf) const { return (folder_ / leaf).string(); }

private:
    HostServices services_ = host::makeHostServices();
    std::unique_ptr<host::Module> module_;
    std::vector<host::Saver> savers_;
    fs::path folder_;
};

// The harness of this process, made on first use.
inline ModuleHarness& harness() {
    static ModuleHarness made;
    return made;
}

inline void writeInput(const std::string& path, const void* data, std::size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) fail("cannot write " + path);
    const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) fail("cannot write " + path);
}

// Loads `path` with attributes wanted and reads everything it hands out.
inline host::IconPtr loadAndTouch(const std::string& path, IconAttributes& attributes) {
    const host::EntryPoints& entry = harness().entry();
    attributes = IconAttributes{};
    const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                            {TagEnd, 0}};
    const std::size_t liveBefore = host::liveByteCount();
    host::resetPeakByteCount();
    host::IconPtr icon(entry.loadIcon(path.c_str(), tags), {entry.freeIcon});
    std::error_code ignored;
    const std::size_t held = host::peakByteCount() - liveBefore;
    if (held > test::loadPeakBound(std::size_t(std::filesystem::file_size(path, ignored))))
        fail("the load held " + std::to_string(held) + " bytes at once, past its budget");
    if (icon) {
        const IconImage* images = entry.getIconImages(icon.get());
        std::string fault = test::walkImages(images);
        if (fault.empty()) fault = test::budgetFault(images);
        if (!fault.empty()) fail(fault);
        test::walkAttributes(attributes);
    }
    return icon;
}

// After every icon is freed: no memory block, stream or decoded image left.
inline void expectNothingLeft() {
    if (host::liveBlockCount() != 0 || host::badFreeCount() != 0)
        fail("memory left after FreeIcon or freed amiss:\n" + host::leakReport());
    if (host::streamCounters().liveStreams != 0) fail("a stream left open");
    if (host::liveImageCount() != 0) fail("a decoded image left unreleased");
}

// Writes `data` to the input file, behind `magic` unless it already starts
// with it, and loads it: so every input reaches the reader of that magic,
// while whole files (the corpus) still go in unchanged.
inline void loadWithMagic(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& magic,
                          std::size_t matched) {
    std::vector<uint8_t> file;
    // An empty input may come as a null pointer, which no call may be handed.
    if (size < matched || (matched != 0 && std::memcmp(data, magic.data(), matched) != 0)) file = magic;
    if (size != 0) file.insert(file.end(), data, data + size);
    const std::string path = harness().file("input");
    writeInput(path, file.data(), file.size());
    {
        IconAttributes attributes;
        host::IconPtr icon = loadAndTouch(path, attributes);
    }
    expectNothingLeft();
}

}  // namespace pictra::fuzz
