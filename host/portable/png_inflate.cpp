// The portable PNG decoding's inflater (see png_inflate.h): a plain
// bit-at-a-time inflater that stops where zlib stops when libspng drives it.
#include "host/portable/png_inflate.h"

#include <algorithm>

#include "host/portable/codecs.h"

namespace pictra::host::portable {
namespace {

class RowInflater {
public:
    RowInflater(std::span<const uint8_t> data, std::span<const std::size_t> ends, std::vector<uint8_t>& rows)
        : data_(data), ends_(ends), rows_(rows), limit_(data.size() * 8) {}

    // True when libspng would have the rows; `rows` then holds them.
    bool run() {
        uint32_t cmf = 0, flg = 0;
        if (!bits(8, cmf) || !bits(8, flg)) return false;
        // The check, deflate, a window of at most 32K, no preset dictionary.
        if ((cmf * 256 + flg) % 31 != 0 || (cmf & 15) != 8 || (cmf >> 4) > 7 || (flg & 0x20)) return false;
        for (;;) {
            uint32_t last = 0, type = 0;
            if (!bits(1, last) || !bits(2, type)) return full();
            Outcome outcome = type == 0 ? storedBlock() : type == 1 ? fixedBlock() : type == 2 ? dynamicBlock() : kRefused;
            if (outcome != kGoOn) return outcome == kTaken;
            if (last) break;
        }
        position_ = (position_ + 7) / 8 * 8;
        uint32_t sum = 0;
        for (int i = 0; i < 4; ++i) {
            uint32_t byte = 0;
            if (!bits(8, byte)) return full();
            sum = sum << 8 | byte;
        }
        return sum == adler32(rows_.data(), produced_) && full();
    }

private:
    enum Outcome { kGoOn, kTaken, kRefused };
    static constexpr int kMaxBits = 15;

    // A canonical Huffman code: how many codes of each length, the symbols
    // in code order.
    struct Code {
        uint16_t count[kMaxBits + 1] = {};
        uint16_t symbol[288] = {};
        int longest = 0;
    };

    // zlib refuses an over-subscribed set and an incomplete one, except a
    // single one-bit code in a literal or distance set (`lone`).
    static bool build(Code& code, const uint8_t* lengths, int n, bool lone) {
        for (int i = 0; i < n; ++i) ++code.count[lengths[i]];
        code.count[0] = 0;
        int left = 1;
        uint16_t offsets[kMaxBits + 2] = {};
        for (int length = 1; length <= kMaxBits; ++length) {
            left = left * 2 - code.count[length];
            if (left < 0) return false;
            if (code.count[length]) code.longest = length;
            offsets[length + 1] = uint16_t(offsets[length] + code.count[length]);
        }
        if (left > 0 && !(lone && code.longest == 1) && code.longest != 0) return false;
        for (int i = 0; i < n; ++i)
            if (lengths[i]) code.symbol[offsets[lengths[i]]++] = uint16_t(i);
        return true;
    }

    // -1: no input; -2: no such code (after one bit when the set is empty or
    // one bit long, as zlib's tables go).
    int decode(const Code& code) {
        int value = 0, first = 0, index = 0;
        for (int length = 1; length <= std::max(code.longest, 1); ++length) {
            uint32_t bit = 0;
            if (!bits(1, bit)) return -1;
            value |= int(bit);
            const int count = code.count[length];
            if (value - first < count) return code.symbol[index + value - first];
            index += count;
            first = (first + count) << 1;
            value <<= 1;
        }
        return -2;
    }

    bool bits(int n, uint32_t& value) {
        if (limit_ - position_ < std::size_t(n)) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++position_)
            value |= uint32_t(data_[position_ / 8] >> (position_ % 8) & 1) << i;
        return true;
    }

    bool full() const { return produced_ == rows_.size(); }
    // Where zlib stops for want of input: taken if the rows are complete.
    Outcome ranOut() const { return full() ? kTaken : kRefused; }

    // Once the rows are complete, input ends with the chunk they ended in.
    void put(uint8_t byte) {
        rows_[produced_++] = byte;
        if (!full()) return;
        const std::size_t used = (position_ + 7) / 8;
        limit_ = *std::lower_bound(ends_.begin(), ends_.end(), used) * 8;
    }

    Outcome storedBlock() {
        position_ = (position_ + 7) / 8 * 8;
        uint32_t length = 0, check = 0;
        if (!bits(16, length) || !bits(16, check)) return ranOut();
        if (length != (~check & 0xFFFF)) return kRefused;
        for (uint32_t byte = 0; length > 0; --length) {
            if (full() || !bits(8, byte)) return ranOut();
            put(uint8_t(byte));
        }
        return kGoOn;
    }

    // Deflate's fixed codes, with the two symbols no length or distance has
    // among them.
    Outcome fixedBlock() {
        static const Code literals = [] {
            uint8_t lengths[288];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            Code c;
            build(c, lengths, 288, false);
            return c;
        }();
        static const Code distances = [] {
            uint8_t lengths[32];
            std::fill(lengths, lengths + 32, 5);
            Code c;
            build(c, lengths, 32, false);
            return c;
        }();
        return codedBlock(literals, distances);
    }

    Outcome codedBlock(const Code& literals, const Code& distances) {
        static constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                       33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        for (;;) {
            const int symbol = decode(literals);
            if (symbol == -1) return ranOut();
            if (symbol < 0 || symbol > 285) return kRefused;
            if (symbol < 256) {
                if (full()) return kTaken;
                put(uint8_t(symbol));
                continue;
            }
            if (symbol == 256) return kGoOn;
            uint32_t length = 0, distance = 0;
            if (!bits(kLengthExtra[symbol - 257], length)) return ranOut();
            length += kLengthBase[symbol - 257];
            const int code = decode(distances);
            if (code == -1) return ranOut();
            if (code < 0 || code > 29) return kRefused;
            if (!bits(code < 4 ? 0 : code / 2 - 1, distance)) return ranOut();
            distance += kDistanceBase[code];
            if (full()) return kTaken;
            if (distance > produced_) return kRefused;
            for (; length > 0 && !full(); --length) put(rows_[produced_ - distance]);
            if (length > 0) return kTaken;  // zlib stops in the copy the rows end in
        }
    }

    Outcome dynamicBlock() {
        static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        uint32_t literals = 0, distances = 0, lengthCodes = 0;
        if (!bits(5, literals) || !bits(5, distances) || !bits(4, lengthCodes)) return ranOut();
        literals += 257, distances += 1, lengthCodes += 4;
        if (literals > 286 || distances > 30) return kRefused;
        uint8_t lengths[320] = {};
        for (uint32_t i = 0; i < lengthCodes; ++i) {
            uint32_t length = 0;
            if (!bits(3, length)) return ranOut();
            lengths[kOrder[i]] = uint8_t(length);
        }
        Code lengthCode;
        if (!build(lengthCode, lengths, 19, false)) return kRefused;
        std::fill(lengths, lengths + 19, 0);
        for (uint32_t have = 0; have < literals + distances;) {
            int symbol = decode(lengthCode);
            if (symbol == -1) return ranOut();
            if (symbol == -2) symbol = 0;  // zlib reads an empty set's one bit as length 0
            if (symbol < 16) {
                lengths[have++] = uint8_t(symbol);
                continue;
            }
            uint32_t repeat = 0;
            const int extra = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
            if (!bits(extra, repeat)) return ranOut();
            repeat += symbol == 18 ? 11 : 3;
            if ((symbol == 16 && have == 0) || have + repeat > literals + distances) return kRefused;
            const uint8_t value = symbol == 16 ? lengths[have - 1] : 0;
            std::fill(lengths + have, lengths + have + repeat, value);
            have += repeat;
        }
        Code literalCode, distanceCode;
        if (lengths[256] == 0 || !build(literalCode, lengths, int(literals), true) ||
            !build(distanceCode, lengths + literals, int(distances), true))
            return kRefused;
        return codedBlock(literalCode, distanceCode);
    }

    std::span<const uint8_t> data_;
    std::span<const std::size_t> ends_;
    std::vector<uint8_t>& rows_;
    std::size_t produced_ = 0;
    std::size_t position_ = 0;  // in bits
    std::size_t limit_;         // in bits
};

}  // namespace

bool inflatePngRows(std::span<const uint8_t> data, std::span<const std::size_t> ends,
                    std::vector<uint8_t>& rows) {
    return RowInflater(data, ends, rows).run();
}

}  // namespace pictra::host::portable
