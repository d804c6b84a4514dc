// PNG decoding through stb_image, on a copy of the file that holds what
// libspng would read of it (see normalisedPng), so that both sets take and
// refuse the same files.
#include <algorithm>
#include <climits>
#include <memory>

#include "host/portable/codecs.h"
#include "host/portable/stb.h"

namespace pictra::host::portable {
namespace {

constexpr std::size_t kSignatureLength = 8;
constexpr std::size_t kChunkHeader = 8;     // length, type
constexpr std::size_t kCrcBytes = 4;
constexpr std::size_t kChunkOverhead = kChunkHeader + kCrcBytes;
constexpr uint32_t kHeaderLength = 13;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
// libspng's limit on a chunk it keeps (see the system set).
constexpr uint32_t kMaxAncillaryLength = uint32_t{8} << 20;
constexpr std::size_t kMaxStoredBlock = 65535;

constexpr uint32_t chunkType(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

uint32_t readBig32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void appendChunkHeader(std::vector<uint8_t>& file, uint32_t length, uint32_t type) {
    for (uint32_t word : {length, type})
        for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(word >> shift));
}

// Ends the IDAT chunk just appended and adds IEND. stb checks no CRC, so
// the chunks made here carry none.
void closeFile(std::vector<uint8_t>& file) {
    file.insert(file.end(), kCrcBytes, 0);
    appendChunkHeader(file, 0, chunkType("IEND"));
    file.insert(file.end(), kCrcBytes, 0);
}

// `bytes` as a zlib stream of stored blocks.
std::vector<uint8_t> storedStream(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> stream = {0x78, 0x01};
    std::size_t done = 0;
    do {
        const std::size_t n = std::min<std::size_t>(bytes.size() - done, kMaxStoredBlock);
        const bool last = done + n == bytes.size();
        stream.insert(stream.end(), {uint8_t(last ? 1 : 0), uint8_t(n), uint8_t(n >> 8),
                                     uint8_t(~n), uint8_t(~n >> 8)});
        stream.insert(stream.end(), bytes.begin() + long(done), bytes.begin() + long(done + n));
        done += n;
    } while (done < bytes.size());
    const uint32_t sum = adler32(bytes.data(), bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<uint8_t>(sum >> shift));
    return stream;
}

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    uint32_t colourType = 0;
    bool interlaced = false;
};

// The bytes the image data inflates to: each row of each pass led by its
// filter byte.
uint64_t rowBytes(const Header& h) {
    static constexpr uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const uint64_t bits = uint64_t{h.depth} * (h.colourType < 7 ? kChannels[h.colourType] : 0);
    auto pass = [bits](uint64_t width, uint64_t height) {
        return width == 0 || height == 0 ? 0 : height * (1 + (width * bits + 7) / 8);
    };
    if (!h.interlaced) return pass(h.width, h.height);
    // Adam7: start column and row, then step, of each of the seven passes.
    static constexpr uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    uint64_t total = 0;
    for (const auto& p : kPasses) {
        const uint64_t w = h.width > p[0] ? (h.width - p[0] + p[2] - 1) / p[2] : 0;
        const uint64_t rows = h.height > p[1] ? (h.height - p[1] + p[3] - 1) / p[3] : 0;
        total += pass(w, rows);
    }
    return total;
}

// The image data inflated as zlib inflates it for libspng, which feeds it
// one IDAT chunk at a time and stops asking for output once the rows are
// complete. Until then every error refuses the file, and so does running out
// of the chunks it may read. From then on zlib goes on through what is left
// of the chunk the rows ended in for as long as that writes nothing: a
// literal or a copy ends it (a copy only after its distance code), as does
// the end of that chunk; block headers, code tables and the Adler-32 trailer
// met on the way are checked. stb checks none of this and gives up a few
// bits before its input ends, so the rows are inflated here and stb is
// handed them as a stored stream.
class RowInflater {
public:
    // `ends`: where each IDAT chunk's data ends in `data`.
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

// Inflates `data` into the rows and hands them to stb
// as one stored stream after the chunks kept in `file`.
bool inflateRows(std::vector<uint8_t>& file, const Header& h, std::span<const uint8_t> data,
                 std::span<const std::size_t> ends, std::string* error) {
    const uint64_t wanted = rowBytes(h);
    if (wanted == 0 || wanted > INT_MAX / 2) {
        setError(error, "bad PNG header");
        return false;
    }
    std::vector<uint8_t> rows(static_cast<std::size_t>(wanted));
    if (!RowInflater(data, ends, rows).run()) {
        setError(error, "corrupt PNG data");
        return false;
    }
    const std::vector<uint8_t> stream = storedStream(rows);
    appendChunkHeader(file, static_cast<uint32_t>(stream.size()), chunkType("IDAT"));
    file.insert(file.end(), stream.begin(), stream.end());
    closeFile(file);
    return true;
}

// The IDAT chunks libspng may read from the one at `position` on: each one
// whole, and the next only past a right CRC. Their data goes to `data`,
// where each one ends to `ends`.
void imageData(std::span<const uint8_t> bytes, std::size_t position, std::vector<uint8_t>& data,
               std::vector<std::size_t>& ends) {
    for (;;) {
        const std::size_t left = bytes.size() - position;
        if (left < kChunkHeader) return;
        const uint8_t* chunk = bytes.data() + position;
        const uint32_t length = readBig32(chunk);
        if (readBig32(chunk + 4) != chunkType("IDAT") || length > kMaxChunkLength ||
            length > left - kChunkHeader)
            return;
        data.insert(data.end(), chunk + kChunkHeader, chunk + kChunkHeader + length);
        ends.push_back(data.size());
        if (left - kChunkHeader - length < kCrcBytes ||
            crc32(chunk + 4, length + 4) != readBig32(chunk + kChunkHeader + length))
            return;
        position += kChunkOverhead + length;
    }
}

// Makes of a PNG the chunks stb reads before the image data, the way
// libspng reads the original, and gathers the image data libspng may read.
// The chunks before the image data are walked with their CRCs: a bad CRC
// drops an ancillary chunk and refuses a critical one, as do unknown
// critical chunks. libspng reads the image data one chunk at a time and
// checks a chunk's CRC only when it moves on to the next, which it does
// only while the rows are incomplete (see RowInflater); what follows (the
// last IDAT's CRC, IEND, other chunks) it never looks at. The header's size
// meets the caps as soon as it is read.
bool normalisedPng(std::span<const uint8_t> bytes, const DecodeLimits& limits, Header& header,
                   std::vector<uint8_t>& file, std::vector<uint8_t>& data,
                   std::vector<std::size_t>& ends, std::string* error) {
    file.assign(bytes.begin(), bytes.begin() + kSignatureLength);
    std::size_t position = kSignatureLength;
    for (bool first = true;; first = false) {
        const std::size_t left = bytes.size() - position;
        if (left < kChunkHeader) break;
        const uint8_t* chunk = bytes.data() + position;
        const uint32_t length = readBig32(chunk);
        const uint32_t type = readBig32(chunk + 4);
        if (type == chunkType("IDAT") && !first) {
            imageData(bytes, position, data, ends);
            break;
        }
        if (left < kChunkOverhead || length > kMaxChunkLength || length > left - kChunkOverhead) break;
        // Bit 5 of the first letter clear: a chunk the decoder must know.
        const bool critical = (type & 0x20000000u) == 0;
        const bool intact = crc32(chunk + 4, length + 4) == readBig32(chunk + kChunkHeader + length);
        if (first != (type == chunkType("IHDR")) || (first && length != kHeaderLength) ||
            (critical && !intact) || (!critical && length > kMaxAncillaryLength)) {
            setError(error, critical && !intact ? "corrupt PNG data (chunk CRC)" : "bad PNG header");
            return false;
        }
        if (critical && type != chunkType("IHDR") && type != chunkType("PLTE")) {
            setError(error, type == chunkType("IEND") ? "PNG without image data"
                                                      : "unknown critical PNG chunk");
            return false;
        }
        if (first) {
            header.width = readBig32(chunk + kChunkHeader);
            header.height = readBig32(chunk + kChunkHeader + 4);
            header.depth = chunk[kChunkHeader + 8];
            header.colourType = chunk[kChunkHeader + 9];
            header.interlaced = chunk[kChunkHeader + 12] != 0;
            if (!checkedPixelCount(header.width, header.height, limits, error)) return false;
        }
        if (intact) file.insert(file.end(), chunk, chunk + kChunkOverhead + length);
        position += kChunkOverhead + length;
    }
    if (ends.empty()) {
        setError(error, "truncated PNG data");
        return false;
    }
    return true;
}

// The most this set holds at once: the input, the image data gathered
// from it and the chunks kept before it, the rows twice (inflated here and
// as the stored stream in the file stb reads) and twice more in stb (the
// image data it gathers and inflates), and stb's picture and ours.
uint64_t decodeBytes(uint64_t fileBytes, const Header& header) {
    const uint64_t pixels = uint64_t{header.width} * header.height;
    return 3 * fileBytes + 4 * rowBytes(header) + 8 * pixels;
}

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits) {
    if (bytes.size() < kSignatureLength || bytes.size() > INT_MAX) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    Header header;
    std::vector<uint8_t> file, data;
    std::vector<std::size_t> ends;
    if (!normalisedPng(bytes, limits, header, file, data, ends, error)) return std::nullopt;
    const uint32_t width = header.width, height = header.height;
    const auto count = checkedPixelCount(width, height, limits, error);
    if (!count || !withinDecodeBudget(decodeBytes(bytes.size(), header), limits, error) ||
        !inflateRows(file, header, data, ends, error))
        return std::nullopt;
    if (file.size() > INT_MAX) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    int decodedWidth = 0, decodedHeight = 0, channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgba(stbi_load_from_memory(
        file.data(), static_cast<int>(file.size()), &decodedWidth, &decodedHeight, &channels, 4));
    if (!rgba) {
        setError(error, "corrupt PNG data");
        return std::nullopt;
    }
    if (static_cast<uint32_t>(decodedWidth) != width ||
        static_cast<uint32_t>(decodedHeight) != height) {
        setError(error, "bad PNG header");
        return std::nullopt;
    }
    return pictureFromRgba(rgba.get(), width, height, *count);
}

}  // namespace pictra::host::portable
