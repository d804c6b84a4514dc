// Fuzz target: any bytes as an icon file, loaded by the real pictra.vxm as a
// host loads it (attributes wanted). Every picture, palette and text the
// record hands out is read to the last byte its sizes declare, so a reader
// that overstates a size trips AddressSanitizer; after FreeIcon no memory
// block, stream or decoded image may be left.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "host/images.h"
#include "host/memory.h"
#include "host/module_loader.h"
#include "host/services.h"
#include "host/streams.h"

namespace {

namespace fs = std::filesystem;
using namespace pictra;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_load_icon: %s\n", what.c_str());
    __builtin_trap();
}

// The module, loaded and initialised once per process, and the one file in a
// private folder that every input is written to.
class Harness {
public:
    Harness() {
        std::string error;
        module_ = host::Module::open(host::findModulePath(""), error);
        if (!module_) fail("cannot load the module: " + error);
        if (!module_->initialise(&services_)) fail("InitPlugin failed");
        std::string pattern = (fs::temp_directory_path() / "pictra-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) fail("cannot make a temporary folder");
        folder_ = pattern;
        file_ = (folder_ / "input").string();
    }
    ~Harness() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    const host::EntryPoints& entry() const { return module_->entry(); }
    const std::string& file() const { return file_; }

private:
    HostServices services_ = host::makeHostServices();
    std::unique_ptr<host::Module> module_;
    fs::path folder_;
    std::string file_;
};

void writeInput(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) fail("cannot write " + path);
    const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) fail("cannot write " + path);
}

volatile uint8_t sink;

// Reads every byte; AddressSanitizer checks each read.
void touch(const void* block, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum ^= bytes[i];
    sink = sum;
}

void touchText(const char* text) {
    if (text) touch(text, std::strlen(text) + 1);
}

void touchImages(const IconImage* image) {
    for (; image; image = image->next) {
        if (image->width < 0 || image->height < 0) fail("a picture with a negative size");
        const std::size_t count = std::size_t(image->width) * std::size_t(image->height);
        const bool indexed = image->depth >= 1 && image->depth <= 8;
        touch(image->pixels, indexed ? count : count * 4);
        if (indexed) touch(image->palette, 256 * 4);
    }
}

void touchAttributes(const IconAttributes& attributes) {
    touchText(attributes.defaultTool);
    if (attributes.toolTypes)
        for (char** text = attributes.toolTypes; *text; ++text) touchText(*text);
}

Harness* harness;

}  // namespace

// The module is loaded before the first input, so the fuzzer sees its
// coverage from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static Harness made;
    harness = &made;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    writeInput(harness->file(), data, size);
    const host::EntryPoints& entry = harness->entry();
    {
        IconAttributes attributes{};
        const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                                {TagEnd, 0}};
        host::IconPtr icon(entry.loadIcon(harness->file().c_str(), tags), {entry.freeIcon});
        if (icon) {
            touchImages(entry.getIconImages(icon.get()));
            touchAttributes(attributes);
        }
    }
    if (host::liveBlockCount() != 0 || host::badFreeCount() != 0)
        fail("memory left after FreeIcon or freed amiss:\n" + host::leakReport());
    if (host::streamCounters().liveStreams != 0) fail("a stream left open");
    if (host::liveImageCount() != 0) fail("a decoded image left unreleased");
    return 0;
}
