// Fuzz target: the IMAG run-length codec. The first byte picks the depth
// (1-8), the next two the number of values wanted; the rest is the packed
// stream. The decoder must stay inside its destination, and whatever it
// produced must pack (with room for twice the values) and unpack unchanged.
// fuzz-module-sources: amiga_form/run_length.cpp
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "amiga_form/run_length.h"

namespace {

constexpr uint8_t Guard = 0xA5;
constexpr std::size_t GuardBytes = 16;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const uint32_t depth = data[0] % 8 + 1;
    const uint32_t wanted = static_cast<uint32_t>(data[1]) << 8 | data[2];
    const auto packedLength = static_cast<uint32_t>(size - 3);
    std::vector<uint8_t> values(wanted + GuardBytes, Guard);
    const uint32_t produced = DecodeRunLength(data + 3, packedLength, values.data(), wanted, depth);
    if (produced > wanted) fail("more values than wanted");
    for (std::size_t i = wanted; i < values.size(); ++i)
        if (values[i] != Guard) fail("a write past the destination");
    for (uint32_t i = 0; i < produced; ++i)
        if (values[i] >> depth) fail("a value wider than the depth");

    std::vector<uint8_t> packed(2 * static_cast<std::size_t>(produced) + 2);
    uint32_t length = 0;
    if (!EncodeRunLength(values.data(), produced, packed.data(), static_cast<uint32_t>(packed.size()), depth, &length))
        fail("packing did not fit in twice the values");
    std::vector<uint8_t> again(produced + 1, Guard);
    if (DecodeRunLength(packed.data(), length, again.data(), produced, depth) != produced ||
        std::memcmp(again.data(), values.data(), produced) != 0)
        fail("a round trip changed the values");
    // With the raw size as room, packing either fits or says it does not.
    if (produced && EncodeRunLength(values.data(), produced, packed.data(), produced, depth, &length) &&
        length > produced)
        fail("a packed form longer than its room");
    return 0;
}
