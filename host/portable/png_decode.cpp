// PNG decoding through stb_image, on a copy of the file that holds what
// libspng would read of it (see normalisedPng), so that both sets take and
// refuse the same files.
#include <algorithm>
#include <climits>
#include <memory>

#include "host/portable/codecs.h"
#include "host/portable/png_inflate.h"
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
    if (!inflatePngRows(data, ends, rows)) {
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
// only while the rows are incomplete (see png_inflate.h); what follows (the
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

// stb reads a copy of the file made here, so the bytes are left as they are.
std::optional<Picture> decodePngInPlace(std::span<uint8_t> bytes, std::string* error,
                                        const DecodeLimits& limits) {
    return decodePng(bytes, error, limits);
}

}  // namespace pictra::host::portable
