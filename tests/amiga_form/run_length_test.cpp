// The IMAG run-length codec: the worked byte sequences both ways, the
// limits of runs and literal blocks, and round trips at every depth.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "amiga_form/run_length.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes repeat(uint8_t value, std::size_t count) { return Bytes(count, value); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Packs with room for twice the values, as much as any packing can need.
Bytes pack(const Bytes& values, uint32_t depth) {
    Bytes out(values.size() * 2 + 2, 0xEE);
    uint32_t length = 0;
    EXPECT_EQ(EncodeRunLength(values.data(), static_cast<uint32_t>(values.size()), out.data(),
                              static_cast<uint32_t>(out.size()), depth, &length),
              1);
    out.resize(length);
    return out;
}

Bytes unpack(const Bytes& packed, uint32_t depth, std::size_t wanted, uint32_t* produced = nullptr) {
    Bytes out(wanted, 0);
    uint32_t count = DecodeRunLength(packed.data(), static_cast<uint32_t>(packed.size()), out.data(),
                                     static_cast<uint32_t>(wanted), depth);
    if (produced) *produced = count;
    return out;
}

struct WorkedCase {
    const char* name;
    Bytes values;
    uint32_t depth;
    Bytes packed;
};

TEST(RunLength, WorkedExamplesPackAndUnpackExactly) {
    const WorkedCase cases[] = {
        {"run then literals", {5, 5, 5, 5, 1, 2}, 8, {0xFD, 0x05, 0x01, 0x01, 0x02}},
        {"half-byte values, zero fill", {3, 3, 3, 3, 3, 3, 0, 1}, 4, {0xFB, 0x30, 0x10, 0x10}},
        {"runs of 128, 128 and 44", repeat(7, 300), 8, {0x81, 0x07, 0x81, 0x07, 0xD5, 0x07}},
        {"a run of exactly 128", repeat(9, 128), 8, {0x81, 0x09}},
        {"129 equal: the one left over is a literal", repeat(9, 129), 8, {0x81, 0x09, 0x00, 0x09}},
        {"two equal at the end are literals", {4, 4}, 8, {0x01, 0x04, 0x04}},
        {"three equal at the end are a run", {4, 4, 4}, 8, {0xFE, 0x04}},
        // At depth 1 a run pays only above 16 bits: 16 equal values in the
        // middle go out as literals, 17 as a run.
        {"depth 1, short runs stay literal", concat({repeat(1, 16), repeat(0, 17), {1}}), 1,
         {0x0F, 0xFF, 0xFF, 0xF0, 0x00, 0x40}},
    };
    for (const WorkedCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pack(c.values, c.depth), c.packed);
        uint32_t produced = 0;
        EXPECT_EQ(unpack(c.packed, c.depth, c.values.size(), &produced), c.values);
        EXPECT_EQ(produced, c.values.size());
    }
}

TEST(RunLength, PackingThatDoesNotPayRunsOutOfTheRawRoom) {
    struct Case {
        Bytes values;
        uint32_t depth;
    };
    // One value is a code and a value; 1 2 is three bytes.
    for (const Case& c : {Case{{42}, 8}, Case{{1, 2}, 8}}) {
        Bytes room(c.values.size(), 0);
        uint32_t length = 77;
        EXPECT_EQ(EncodeRunLength(c.values.data(), static_cast<uint32_t>(c.values.size()), room.data(),
                                  static_cast<uint32_t>(room.size()), c.depth, &length),
                  0);
        EXPECT_EQ(length, 77u);
    }
    // Equal sizes keep the packed form: 4 equal values at depth 8 are 2 bytes.
    const Bytes values = {6, 6, 6, 6};
    Bytes room(2, 0);
    uint32_t length = 0;
    EXPECT_EQ(EncodeRunLength(values.data(), 4, room.data(), 2, 8, &length), 1);
    EXPECT_EQ(length, 2u);
}

TEST(RunLength, DecoderSkipsNoOperationsAndStopsAtTheEndOfEitherBlock) {
    uint32_t produced = 0;
    // Code 128 produces nothing.
    EXPECT_EQ(unpack({0x80, 0x80, 0x01, 0x0A, 0x0B}, 8, 2, &produced), (Bytes{0x0A, 0x0B}));
    EXPECT_EQ(produced, 2u);
    // A literal block of 4 cut after two values yields two.
    EXPECT_EQ(unpack({0x03, 0x0A, 0x0B}, 8, 4, &produced), (Bytes{0x0A, 0x0B, 0, 0}));
    EXPECT_EQ(produced, 2u);
    // At depth 4 a value whose bits are already buffered is still taken:
    // literal code 02, then values 1 and 2 in one byte, the third missing.
    EXPECT_EQ(unpack({0x02, 0x12}, 4, 3, &produced), (Bytes{1, 2, 0}));
    EXPECT_EQ(produced, 2u);
    // A run longer than the room fills the room and no more.
    Bytes guarded(6, 0xEE);
    const Bytes run = {0x81, 0x05};
    EXPECT_EQ(DecodeRunLength(run.data(), 2, guarded.data(), 4, 8), 4u);
    EXPECT_EQ(guarded, (Bytes{5, 5, 5, 5, 0xEE, 0xEE}));
    // A run code without its value, an empty stream, a depth out of range.
    EXPECT_EQ(DecodeRunLength(run.data(), 1, guarded.data(), 4, 8), 0u);
    EXPECT_EQ(DecodeRunLength(run.data(), 0, guarded.data(), 4, 8), 0u);
    EXPECT_EQ(DecodeRunLength(run.data(), 2, guarded.data(), 4, 9), 0u);
    EXPECT_EQ(DecodeRunLength(run.data(), 2, guarded.data(), 4, 0), 0u);
}

TEST(RunLength, EveryDepthRoundTripsMixedRunsAndNoise) {
    std::mt19937 random(1234);
    for (uint32_t depth = 1; depth <= 8; ++depth) {
        SCOPED_TRACE(depth);
        Bytes values;
        const uint32_t limit = 1u << depth;
        while (values.size() < 3000) {
            const uint32_t value = random() % limit;
            const std::size_t count = random() % 3 == 0 ? 1 + random() % 300 : 1;
            values.insert(values.end(), count, static_cast<uint8_t>(value));
        }
        const Bytes packed = pack(values, depth);
        EXPECT_LT(packed.size(), values.size());
        uint32_t produced = 0;
        EXPECT_EQ(unpack(packed, depth, values.size(), &produced), values);
        EXPECT_EQ(produced, values.size());
        // Every cut of the stream decodes a prefix of the values, never more.
        for (std::size_t cut = 0; cut < packed.size(); cut += 1 + packed.size() / 50) {
            Bytes part(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
            const Bytes out = unpack(part, depth, values.size(), &produced);
            ASSERT_LT(produced, values.size());
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + produced, values.begin()));
        }
    }
}

}  // namespace
