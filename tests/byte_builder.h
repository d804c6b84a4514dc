// Hand-made files for reader tests: a builder of bytes in either byte order,
// readers of both, PNG chunks, every truncation of a file, and one field of
// a file changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace pictra::test {

class ByteBuilder {
public:
    ByteBuilder& u8(uint32_t value) {
        bytes_.push_back(static_cast<uint8_t>(value));
        return *this;
    }
    ByteBuilder& be16(uint32_t value) { return u8(value >> 8).u8(value); }
    ByteBuilder& be32(uint32_t value) { return be16(value >> 16).be16(value); }
    ByteBuilder& le16(uint32_t value) { return u8(value).u8(value >> 8); }
    ByteBuilder& le32(uint32_t value) { return le16(value).le16(value >> 16); }
    ByteBuilder& text(std::string_view text) {  // the characters, no terminator
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    ByteBuilder& raw(const std::vector<uint8_t>& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    ByteBuilder& zeros(std::size_t count) {
        bytes_.resize(bytes_.size() + count, 0);
        return *this;
    }
    std::size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    operator const std::vector<uint8_t>&() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

inline uint32_t be16(const std::vector<uint8_t>& data, std::size_t at) { return uint32_t(data[at]) << 8 | data[at + 1]; }
inline uint32_t be32(const std::vector<uint8_t>& data, std::size_t at) { return be16(data, at) << 16 | be16(data, at + 2); }
inline uint32_t le32At(const std::vector<uint8_t>& data, std::size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | uint32_t(data[at + 3]) << 24;
}

// A PNG chunk: length, type, data and its CRC.
inline std::vector<uint8_t> pngChunk(const std::string& type, const std::vector<uint8_t>& data) {
    const uint32_t crc = bitwiseCrc32(type + std::string(data.begin(), data.end()));
    return ByteBuilder().be32(static_cast<uint32_t>(data.size())).text(type).raw(data).be32(crc);
}

// Every proper prefix of `file`, the empty one first.
inline std::vector<std::vector<uint8_t>> truncations(const std::vector<uint8_t>& file) {
    std::vector<std::vector<uint8_t>> cuts;
    for (std::size_t length = 0; length < file.size(); ++length)
        cuts.emplace_back(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
    return cuts;
}

// `file` with the `width`-byte field at `offset` set to `value` (bytes past
// the end of the file are not written).
inline std::vector<uint8_t> withField(std::vector<uint8_t> file, std::size_t offset, int width,
                                      uint32_t value, bool bigEndian) {
    for (int i = 0; i < width && offset + static_cast<std::size_t>(i) < file.size(); ++i) {
        const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
        file[offset + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> shift);
    }
    return file;
}

}  // namespace pictra::test
