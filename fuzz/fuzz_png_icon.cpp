// Fuzz target: PNG icons, the reader behind the PNG signature. An input that
// does not start with the signature gets it put in front, so no run is spent
// on a refusal; whole files (the seeds and the corpus) go in unchanged.
// fuzz-corpus: amiga/png ico/misnamed
#include "fuzz/module_harness.h"

using namespace pictra::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    loadWithMagic(data, size, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 4);
    return 0;
}
