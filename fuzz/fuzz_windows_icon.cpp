// Fuzz target: Windows icons, the reader behind 00 00 01 00. An input that
// does not start with the magic word gets it put in front, so no run is spent
// on a refusal; whole files (the seeds and the corpus) go in unchanged.
// fuzz-corpus: ico
#include "fuzz/module_harness.h"

using namespace pictra::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    loadWithMagic(data, size, {0x00, 0x00, 0x01, 0x00}, 4);
    return 0;
}
