// Fuzz target: any bytes as an icon file, loaded by the real pictra.vxm as a
// host loads it (attributes wanted). Every picture, palette and text the
// record hands out is read to the last byte its sizes declare, so a reader
// that overstates a size trips AddressSanitizer; after FreeIcon no memory
// block, stream or decoded image may be left.
// fuzz-corpus: .
#include "fuzz/module_harness.h"

using namespace pictra::fuzz;

// The module is loaded before the first input, so the fuzzer sees its
// coverage from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    loadWithMagic(data, size, {}, 0);
    return 0;
}
