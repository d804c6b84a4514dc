// The IMAG run-length codec: the worked byte sequences both ways and the
// limits of runs and literal blocks. Round trips of any values at every
// depth are the fuzz target's (fuzz_run_length).
#include <gtest/gtest.h>

#include <vector>

#include "amiga_form/run_length.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes repeat(uint8_t value, std::size_t count) { return Bytes(count, value); }

// The packed form with `room` bytes to spare (default: twice the values,
// as much as any packing needs); empty when it does not fit.
Bytes pack(const Bytes& values, uint32_t depth, std::size_t room = 0) {
    Bytes out(room ? room : values.size() * 2 + 2);
    uint32_t length = 0;
    const auto size = static_cast<uint32_t>(values.size());
    if (!EncodeRunLength(values.data(), size, out.data(), static_cast<uint32_t>(out.size()), depth, &length)) return {};
    out.resize(length);
    return out;
}

// The values unpacked into `wanted` bytes; *produced gets the count.
Bytes unpack(const Bytes& packed, uint32_t depth, std::size_t wanted, uint32_t* produced) {
    Bytes out(wanted, 0);
    *produced = DecodeRunLength(packed.data(), static_cast<uint32_t>(packed.size()), out.data(),
                                static_cast<uint32_t>(wanted), depth);
    return out;
}

TEST(RunLength, WorkedExamplesPackAndUnpackExactly) {
    struct Case {
        const char* name;
        Bytes values;
        uint32_t depth;
        Bytes packed;
    };
    Bytes depthOne = repeat(1, 16);
    depthOne.insert(depthOne.end(), 17, 0);
    depthOne.push_back(1);
    const Case cases[] = {
        {"run then literals", {5, 5, 5, 5, 1, 2}, 8, {0xFD, 0x05, 0x01, 0x01, 0x02}},
        {"half-byte values, zero fill", {3, 3, 3, 3, 3, 3, 0, 1}, 4, {0xFB, 0x30, 0x10, 0x10}},
        {"runs of 128, 128 and 44", repeat(7, 300), 8, {0x81, 0x07, 0x81, 0x07, 0xD5, 0x07}},
        {"129 equal: the one left over is a literal", repeat(9, 129), 8, {0x81, 0x09, 0x00, 0x09}},
        {"two equal at the end are literals", {4, 4}, 8, {0x01, 0x04, 0x04}},
        {"three equal at the end are a run", {4, 4, 4}, 8, {0xFE, 0x04}},
        // At depth 1 a run pays only above 16 bits: 16 equal values go out
        // as literals, 17 as a run.
        {"depth 1, a run of 16 stays literal", depthOne, 1, {0x0F, 0xFF, 0xFF, 0xF0, 0x00, 0x40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pack(c.values, c.depth), c.packed);
        uint32_t produced = 0;
        EXPECT_EQ(unpack(c.packed, c.depth, c.values.size(), &produced), c.values);
        EXPECT_EQ(produced, c.values.size());
    }
    // With the raw size as room, packing that does not pay does not fit
    // (one value; 1 2 at depth 8 is three bytes); equal sizes stay packed.
    EXPECT_TRUE(pack({42}, 8, 1).empty());
    EXPECT_TRUE(pack({1, 2}, 8, 2).empty());
    EXPECT_EQ(pack({6, 6, 6, 6}, 8, 2), (Bytes{0xFD, 0x06}));
}

TEST(RunLength, DecoderSkipsNoOperationsAndStopsAtTheEndOfEitherBlock) {
    struct Case {
        const char* name;
        Bytes packed;
        uint32_t depth;
        std::size_t wanted;
        Bytes values;  // what the destination holds afterwards
        uint32_t produced;
    };
    const Case cases[] = {
        {"code 128 produces nothing", {0x80, 0x80, 0x01, 0x0A, 0x0B}, 8, 2, {0x0A, 0x0B}, 2},
        {"a literal block cut after two values", {0x03, 0x0A, 0x0B}, 8, 4, {0x0A, 0x0B, 0, 0}, 2},
        {"buffered bits still make a value", {0x02, 0x12}, 4, 3, {1, 2, 0}, 2},
        {"a run clipped to the room", {0x81, 0x05}, 8, 4, {5, 5, 5, 5}, 4},
        {"a run code without its value", {0x81}, 8, 2, {0, 0}, 0},
        {"a depth out of range", {0x00, 0x05}, 9, 1, {0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t produced = 0;
        EXPECT_EQ(unpack(c.packed, c.depth, c.wanted, &produced), c.values);
        EXPECT_EQ(produced, c.produced);
    }
}

}  // namespace
