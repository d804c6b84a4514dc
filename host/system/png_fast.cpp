// The fast way through a PNG (see png_fast.h).
//
// The picture's memory also holds the inflated image data until it is
// turned into words: the rows of filtered bytes sit at its end, and each
// row is unfiltered into a small buffer and written out as words before
// the rows that follow it are touched, so the words never catch up with
// bytes not yet read. Nothing else picture-sized is taken.
#include "host/system/png_fast.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pictra::host::system {
namespace {

constexpr std::size_t kSignatureLength = 8;
constexpr std::size_t kChunkHeader = 8;  // length, type
constexpr std::size_t kCrcBytes = 4;
constexpr uint32_t kIdat = 0x49444154;  // "IDAT"
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kDeflateMethod = 8;
constexpr uint32_t kLargestWindowCode = 7;  // a 32 KiB window
constexpr uint64_t kDecompressorBytes = 64 * 1024;

uint32_t readBig32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One decompressor per thread, kept: it is a few kilobytes of tables.
libdeflate_decompressor* decompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> held(
        libdeflate_alloc_decompressor());
    return held.get();
}

// The data of the IDAT chunks from the first one on, in order: each one
// whole with a right CRC, or nothing (declined; libspng checks a CRC only
// when it moves on to the next chunk, and decides what a bad one means).
bool imageData(std::span<const uint8_t> bytes, std::vector<std::span<const uint8_t>>& parts) {
    std::size_t position = kSignatureLength;
    bool inData = false;
    for (;;) {
        if (bytes.size() - position < kChunkHeader + kCrcBytes) return inData;
        const uint8_t* chunk = bytes.data() + position;
        const uint32_t length = readBig32(chunk);
        const bool idat = readBig32(chunk + 4) == kIdat;
        if (inData && !idat) return true;
        if (length > kMaxChunkLength || length > bytes.size() - position - kChunkHeader - kCrcBytes)
            return false;
        if (idat) {
            const uint32_t crc = static_cast<uint32_t>(libdeflate_crc32(0, chunk + 4, length + 4));
            if (crc != readBig32(chunk + kChunkHeader + length)) return false;
            parts.emplace_back(chunk + kChunkHeader, length);
            inData = true;
        }
        position += kChunkHeader + length + kCrcBytes;
    }
}

// The image data in one piece: the one chunk's data as it stands, else
// the chunks' data gathered in a copy or, where the bytes may be changed,
// moved together over the chunk boundaries between them, whose bytes are
// kept so that put_back() can restore the file.
class ImageData {
public:
    ImageData(const std::vector<std::span<const uint8_t>>& parts, std::span<uint8_t> writable)
        : parts_(parts) {
        if (parts.size() == 1) {
            data_ = parts.front();
            return;
        }
        std::size_t total = 0;
        for (const auto& part : parts) total += part.size();
        if (writable.empty()) {
            copy_ = std::make_unique_for_overwrite<uint8_t[]>(total);
            gather(copy_.get());
            data_ = std::span<const uint8_t>(copy_.get(), total);
            return;
        }
        base_ = writable.data() + (parts.front().data() - writable.data());
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const uint8_t* gap = parts[i - 1].data() + parts[i - 1].size();
            boundaries_.insert(boundaries_.end(), gap, gap + kBoundary);
        }
        gather(base_);
        data_ = std::span<const uint8_t>(base_, total);
    }
    ImageData(const ImageData&) = delete;
    ImageData& operator=(const ImageData&) = delete;

    std::span<const uint8_t> bytes() const { return data_; }

    // The file as it was, when the data were moved in place. Each chunk's
    // data goes back from the last one on, so none lands on data not yet
    // moved; then the boundaries between them.
    void putBack() {
        if (!base_) return;
        std::size_t at = data_.size();
        for (std::size_t i = parts_.size(); i-- > 1;) {
            at -= parts_[i].size();
            std::memmove(base_ + (parts_[i].data() - parts_[0].data()), base_ + at, parts_[i].size());
        }
        for (std::size_t i = 1; i < parts_.size(); ++i)
            std::memcpy(base_ + (parts_[i - 1].data() + parts_[i - 1].size() - parts_[0].data()),
                        boundaries_.data() + (i - 1) * kBoundary, kBoundary);
        base_ = nullptr;
    }

private:
    static constexpr std::size_t kBoundary = kCrcBytes + kChunkHeader;

    void gather(uint8_t* to) {
        std::size_t at = 0;
        for (const auto& part : parts_) {
            std::memmove(to + at, base_ ? base_ + (part.data() - parts_[0].data()) : part.data(), part.size());
            at += part.size();
        }
    }

    const std::vector<std::span<const uint8_t>>& parts_;
    std::span<const uint8_t> data_;
    std::unique_ptr<uint8_t[]> copy_;
    uint8_t* base_ = nullptr;
    std::vector<uint8_t> boundaries_;
};

uint32_t bitsPerPixel(const PngLayout& layout) {
    static constexpr uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    return layout.colourType < 7 ? layout.depth * kChannels[layout.colourType] : 0;
}

// zlib refuses a copy from further back than the window the stream's header
// declares, libdeflate does not look: such a stream is left to libspng
// unless its window covers all the rows anyway.
bool windowCovers(std::span<const uint8_t> data, uint64_t rowsBytes) {
    if (data.empty()) return false;
    const uint32_t method = data[0] & 15;
    const uint32_t windowCode = data[0] >> 4;
    if (method != kDeflateMethod || windowCode > kLargestWindowCode) return false;
    return windowCode == kLargestWindowCode || rowsBytes <= (uint64_t{1} << (windowCode + 8));
}

#ifdef __SSE2__
// Four bytes as the low four 16-bit lanes, and back.
__m128i widen(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), _mm_setzero_si128());
}
void narrow(__m128i lanes, uint8_t* p) {
    const auto v = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
    std::memcpy(p, &v, 4);
}
__m128i absolute(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }
__m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
__m128i lowByte(__m128i x) { return _mm_and_si128(x, _mm_set1_epi16(0xFF)); }

// The filters whose bytes depend on the pixel to the left, for four bytes
// a pixel: one pixel at a time, its four channels side by side.
void unfilterPixels(uint8_t filter, const uint8_t* in, uint8_t* row, const uint8_t* prior,
                    std::size_t length) {
    __m128i a = _mm_setzero_si128();  // the pixel to the left
    __m128i c = _mm_setzero_si128();  // the pixel above that
    for (std::size_t i = 0; i < length; i += 4) {
        const __m128i x = widen(in + i);
        const __m128i b = widen(prior + i);
        __m128i predicted = a;
        if (filter == 3) {
            predicted = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        } else if (filter == 4) {
            // The nearest of a, b and c to a + b - c, ties to a, then b.
            const __m128i pa = absolute(_mm_sub_epi16(b, c));
            const __m128i pb = absolute(_mm_sub_epi16(a, c));
            const __m128i pc = absolute(_mm_add_epi16(_mm_sub_epi16(b, c), _mm_sub_epi16(a, c)));
            const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
            predicted = select(_mm_cmpeq_epi16(smallest, pa), a,
                               select(_mm_cmpeq_epi16(smallest, pb), b, c));
        }
        a = lowByte(_mm_add_epi16(x, predicted));
        narrow(a, row + i);
        c = b;
    }
}
#endif

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int pa = std::abs(int(b) - int(c));
    const int pb = std::abs(int(a) - int(c));
    const int pc = std::abs(int(a) + int(b) - 2 * int(c));
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// One row of filtered bytes into `row`, against `prior` (the row above,
// zeros for the first). False for a filter type that does not exist.
bool unfilter(uint8_t filter, const uint8_t* in, uint8_t* row, const uint8_t* prior,
              std::size_t length, std::size_t bpp) {
#ifdef __SSE2__
    if (bpp == 4 && (filter == 1 || filter == 3 || filter == 4)) {
        unfilterPixels(filter, in, row, prior, length);
        return true;
    }
#endif
    switch (filter) {
    case 0: std::memcpy(row, in, length); return true;
    case 1:
        for (std::size_t i = 0; i < length; ++i)
            row[i] = uint8_t(in[i] + (i >= bpp ? row[i - bpp] : 0));
        return true;
    case 2:
        for (std::size_t i = 0; i < length; ++i) row[i] = uint8_t(in[i] + prior[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < length; ++i)
            row[i] = uint8_t(in[i] + ((unsigned(i >= bpp ? row[i - bpp] : 0) + prior[i]) >> 1));
        return true;
    case 4:
        for (std::size_t i = 0; i < bpp && i < length; ++i) row[i] = uint8_t(in[i] + prior[i]);
        for (std::size_t i = bpp; i < length; ++i)
            row[i] = uint8_t(in[i] + paeth(row[i - bpp], prior[i], prior[i - bpp]));
        return true;
    default: return false;
    }
}

uint32_t word(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

// One unfiltered row as words. False for a palette index past the palette.
bool expand(const PngLayout& layout, const uint8_t* row, uint32_t* out) {
    const uint32_t width = layout.width;
    switch (layout.colourType) {
    case 6:
        for (uint32_t x = 0; x < width; ++x) {
            // R, G, B, A in memory to a word 0xAARRGGBB, in a form that
            // compilers turn into vector shuffles.
            uint32_t v;
            std::memcpy(&v, row + 4 * std::size_t{x}, 4);
            if constexpr (std::endian::native == std::endian::little)
                out[x] = (v & 0xFF00FF00u) | (v & 0xFFu) << 16 | (v >> 16 & 0xFFu);
            else
                out[x] = v >> 8 | v << 24;
        }
        return true;
    case 4:
        for (uint32_t x = 0; x < width; ++x, row += 2) out[x] = word(row[0], row[0], row[0], row[1]);
        return true;
    case 2:
        for (uint32_t x = 0; x < width; ++x, row += 3) {
            const bool clear = layout.hasKey && row[0] == layout.keyRed && row[1] == layout.keyGreen &&
                               row[2] == layout.keyBlue;
            out[x] = word(row[0], row[1], row[2], clear ? 0 : 255);
        }
        return true;
    case 0:
        for (uint32_t x = 0; x < width; ++x) {
            const bool clear = layout.hasKey && row[x] == layout.keyGrey;
            out[x] = word(row[x], row[x], row[x], clear ? 0 : 255);
        }
        return true;
    default: {
        // A palette: pixels of `depth` bits, the leftmost in the highest bits.
        const uint32_t depth = layout.depth;
        const uint32_t perByte = 8 / depth;
        const uint32_t mask = (1u << depth) - 1;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t shift = 8 - depth * (x % perByte + 1);
            const uint32_t index = uint32_t{row[x / perByte]} >> shift & mask;
            if (index >= layout.paletteSize) return false;
            out[x] = layout.palette[index];
        }
        return true;
    }
    }
}

// The words of the picture from the image data, or nothing.
std::optional<Picture> decodeRows(std::span<const uint8_t> data, const PngLayout& layout) {
    const uint64_t bits = bitsPerPixel(layout);
    const uint64_t rowBytes = (uint64_t{layout.width} * bits + 7) / 8;
    const uint64_t stride = rowBytes + 1;  // with the filter byte
    const uint64_t rowsBytes = stride * layout.height;
    const uint64_t count = uint64_t{layout.width} * layout.height;
    const uint64_t words = std::max(count, (rowsBytes + 3) / 4);
    if (!windowCovers(data, rowsBytes)) return std::nullopt;
    libdeflate_decompressor* inflater = decompressor();
    if (!inflater) return std::nullopt;

    Picture picture;
    picture.width = layout.width;
    picture.height = layout.height;
    picture.pixels.resize(words);
    uint8_t* rows = reinterpret_cast<uint8_t*>(picture.pixels.data()) + (words * 4 - rowsBytes);
    // Exactly the rows: a stream that makes more or less is left to libspng.
    if (libdeflate_zlib_decompress(inflater, data.data(), data.size(), rows, rowsBytes, nullptr) !=
        LIBDEFLATE_SUCCESS)
        return std::nullopt;

    const std::size_t bpp = std::max<std::size_t>(1, bits / 8);
    std::vector<uint8_t> previous(rowBytes, 0), current(rowBytes);
    for (uint32_t y = 0; y < layout.height; ++y) {
        const uint8_t* in = rows + y * stride;
        if (!unfilter(in[0], in + 1, current.data(), previous.data(), rowBytes, bpp) ||
            !expand(layout, current.data(), picture.pixels.data() + std::size_t{y} * layout.width))
            return std::nullopt;
        previous.swap(current);
    }
    picture.pixels.resize(count);
    return picture;
}

}  // namespace

bool fastPngCovers(const PngLayout& layout) {
    if (layout.interlaced) return false;
    if (layout.colourType == 3) return layout.depth == 1 || layout.depth == 2 || layout.depth == 4 || layout.depth == 8;
    return layout.depth == 8 && bitsPerPixel(layout) != 0;
}

std::optional<Picture> decodePngFast(std::span<const uint8_t> bytes, const PngLayout& layout,
                                     uint64_t budget, std::span<uint8_t> writable) {
    if (!fastPngCovers(layout) || bytes.size() < kSignatureLength) return std::nullopt;
    std::vector<std::span<const uint8_t>> parts;
    if (!imageData(bytes, parts)) return std::nullopt;
    if (writable.data() != bytes.data() || writable.size() != bytes.size()) writable = {};

    // The caps hold width and height far below 2^32 / 8, so no product here
    // overflows 64 bits.
    const uint64_t rowBytes = (uint64_t{layout.width} * bitsPerPixel(layout) + 7) / 8;
    const uint64_t rowsBytes = (rowBytes + 1) * layout.height;
    const uint64_t words = std::max(uint64_t{layout.width} * layout.height, (rowsBytes + 3) / 4);
    uint64_t gathered = 0;
    if (parts.size() > 1 && writable.empty())
        for (const auto& part : parts) gathered += part.size();
    if (words * 4 + gathered + 2 * rowBytes + kDecompressorBytes > budget) return std::nullopt;

    ImageData data(parts, writable);
    std::optional<Picture> picture = decodeRows(data.bytes(), layout);
    if (!picture) data.putBack();
    return picture;
}

}  // namespace pictra::host::system
