// Fuzz target: Amiga icons (classic, NewIcons, FORM ICON), the reader behind
// E3 10 00 01. An input that does not start with the magic word gets it put
// in front, so no run is spent on a refusal; whole files (the seeds and the
// corpus) go in unchanged.
// fuzz-corpus: amiga/classic amiga/newicons amiga/os35 amiga/os4 amiga/malformed
#include "fuzz/module_harness.h"

using namespace pictra::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    loadWithMagic(data, size, {0xE3, 0x10, 0x00, 0x01}, 4);
    return 0;
}
