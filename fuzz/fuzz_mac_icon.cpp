// Fuzz target: macOS icons: the reader behind "icns". An input that does
// not start with "icns" gets it put in front with a total length that
// matches, so no run is spent on a refusal; whole files (the seeds and the
// corpus) go in unchanged.
// fuzz-corpus: icns
#include "fuzz/module_harness.h"

using namespace pictra::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto total = static_cast<uint32_t>(size + 8);
    loadWithMagic(data, size,
                  {'i', 'c', 'n', 's', uint8_t(total >> 24), uint8_t(total >> 16),
                   uint8_t(total >> 8), uint8_t(total)},
                  4);
    return 0;
}
