// PNG decoding through stb_image, on a copy of the file that holds what
// libspng would read of it (see normalisedPng), so that both sets take and
// refuse the same files.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
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
constexpr std::size_t kMaxMatch = 258;  // the longest copy one deflate code makes
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
    std::size_t dataOffset = 0;  // of the image data in the copy
    std::size_t dataLength = 0;
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

// libspng inflates the image data until the rows are complete. A stream
// that ends there must carry its Adler-32 whole and right; a stream with
// more data than the rows is taken without looking further. stb reads
// neither the trailer nor tolerates extra data, so the stream is inflated
// here once: the trailer is checked, and extra data is cut off by handing
// stb the rows alone as a stored stream.
bool checkStream(std::vector<uint8_t>& file, const Header& h, std::string* error) {
    const uint64_t wanted = rowBytes(h);
    if (wanted == 0 || wanted > INT_MAX - kMaxMatch || h.dataLength > INT_MAX) {
        setError(error, "bad PNG header");
        return false;
    }
    // Room for one match past the rows, so a stream that runs over has
    // written every byte of the rows before stb stops it.
    std::vector<uint8_t> rows(static_cast<std::size_t>(wanted) + kMaxMatch);
    const auto* data = reinterpret_cast<const char*>(file.data() + h.dataOffset);
    int consumed = 0;
    const int produced =
        pictraZlibDecodeMeasured(reinterpret_cast<char*>(rows.data()), static_cast<int>(rows.size()),
                                 data, static_cast<int>(h.dataLength), &consumed);
    const char* reason = produced < 0 ? stbi_failure_reason() : nullptr;
    const bool overrun = produced > static_cast<int>(wanted) ||
                         (reason && std::strcmp(reason, "output buffer limit") == 0);
    if (!overrun) {
        const bool whole = produced == static_cast<int>(wanted) && consumed >= 0 &&
                           h.dataLength - static_cast<std::size_t>(consumed) >= kCrcBytes;
        if (!whole || adler32(rows.data(), static_cast<std::size_t>(wanted)) !=
                          readBig32(file.data() + h.dataOffset + consumed)) {
            setError(error, "corrupt PNG data");
            return false;
        }
        return true;
    }
    rows.resize(static_cast<std::size_t>(wanted));
    file.resize(h.dataOffset - kChunkHeader);
    const std::vector<uint8_t> stream = storedStream(rows);
    appendChunkHeader(file, static_cast<uint32_t>(stream.size()), chunkType("IDAT"));
    file.insert(file.end(), stream.begin(), stream.end());
    closeFile(file);
    return true;
}

// Makes of a PNG the file stb reads the way libspng reads the original. The
// chunks before the image data are walked with their CRCs: a bad CRC drops
// an ancillary chunk and refuses a critical one, as do unknown critical
// chunks. The image data is then read only until the picture is complete,
// so whatever follows it (the last IDAT's CRC, IEND, other chunks) is never
// looked at: the IDAT data present is copied up to a cut, a bad CRC or the
// first other chunk, and IEND is added. A stream that does not finish
// within the bytes copied fails in stb as it fails in libspng. The header's
// size meets the caps as soon as it is read.
bool normalisedPng(std::span<const uint8_t> bytes, const DecodeLimits& limits, Header& header,
                   std::vector<uint8_t>& file, std::string* error) {
    file.assign(bytes.begin(), bytes.begin() + kSignatureLength);
    std::vector<uint8_t> data;
    std::size_t position = kSignatureLength;
    bool first = true;
    for (;; first = false) {
        const std::size_t left = bytes.size() - position;
        if (left < kChunkHeader) break;
        const uint8_t* chunk = bytes.data() + position;
        const uint32_t length = readBig32(chunk);
        const uint32_t type = readBig32(chunk + 4);
        if (type == chunkType("IDAT") && !first) {
            const std::size_t present = std::min<std::size_t>(length, left - kChunkHeader);
            data.insert(data.end(), chunk + kChunkHeader, chunk + kChunkHeader + present);
            if (present < length || left - kChunkHeader - length < kCrcBytes ||
                crc32(chunk + 4, length + 4) != readBig32(chunk + kChunkHeader + length))
                break;
            position += kChunkOverhead + length;
            continue;
        }
        if (!data.empty()) break;  // the first chunk after the image data
        if (left < kChunkOverhead || length > kMaxChunkLength || length > left - kChunkOverhead) {
            setError(error, "truncated PNG data");
            return false;
        }
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
    if (first || data.empty()) {
        setError(error, "truncated PNG data");
        return false;
    }
    appendChunkHeader(file, static_cast<uint32_t>(data.size()), chunkType("IDAT"));
    header.dataOffset = file.size();
    header.dataLength = data.size();
    file.insert(file.end(), data.begin(), data.end());
    closeFile(file);
    return true;
}

// The most this set holds at once: the input and the copy made above (stb
// copies the image data once more), the inflated rows twice (checked here,
// and stb's own, or the stored stream that replaces an overlong one), and
// stb's picture and ours.
uint64_t decodeBytes(uint64_t fileBytes, const Header& header) {
    const uint64_t pixels = uint64_t{header.width} * header.height;
    return 2 * fileBytes + 2 * rowBytes(header) + 8 * pixels;
}

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes, std::string* error,
                                 const DecodeLimits& limits) {
    if (bytes.size() < kSignatureLength || bytes.size() > INT_MAX) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    Header header;
    std::vector<uint8_t> file;
    if (!normalisedPng(bytes, limits, header, file, error)) return std::nullopt;
    const uint32_t width = header.width, height = header.height;
    if (file.size() > INT_MAX) {
        setError(error, "cannot read PNG data");
        return std::nullopt;
    }
    const auto count = checkedPixelCount(width, height, limits, error);
    if (!count || !withinDecodeBudget(decodeBytes(file.size(), header), limits, error) ||
        !checkStream(file, header, error))
        return std::nullopt;
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
