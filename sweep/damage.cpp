#include "sweep/damage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

namespace pictra::sweep {
namespace {

uint32_t be32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 |
                                    uint32_t(b[at + 2]) << 8 | b[at + 3]
                              : 0;
}
uint32_t le32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? uint32_t(b[at + 3]) << 24 | uint32_t(b[at + 2]) << 16 |
                                    uint32_t(b[at + 1]) << 8 | b[at]
                              : 0;
}
uint32_t le16(const Bytes& b, std::size_t at) {
    return at + 2 <= b.size() ? uint32_t(b[at + 1]) << 8 | b[at] : 0;
}
bool startsWith(const Bytes& b, std::size_t at, const char* text, std::size_t length) {
    return at + length <= b.size() && std::memcmp(b.data() + at, text, length) == 0;
}

// No walk follows more than this many pieces, however the lengths chain.
constexpr int kMaxPieces = 4096;

void walkPng(const Bytes& b, std::size_t at, std::set<std::size_t>& out) {
    std::size_t pos = at + 8;
    for (int n = 0; n < kMaxPieces && pos + 12 <= b.size(); ++n) {
        const uint64_t end = uint64_t(pos) + 12 + be32(b, pos);
        out.insert({pos, pos + 8, std::size_t(std::min<uint64_t>(end - 4, b.size())),
                    std::size_t(std::min<uint64_t>(end, b.size()))});
        if (startsWith(b, pos + 4, "IEND", 4) || end > b.size()) break;
        pos = std::size_t(end);
    }
}

void walkIff(const Bytes& b, std::size_t at, std::set<std::size_t>& out) {
    const uint64_t end = std::min<uint64_t>(uint64_t(at) + 8 + be32(b, at + 4), b.size());
    out.insert({at, at + 8, at + 12, std::size_t(end)});
    std::size_t pos = at + 12;
    for (int n = 0; n < kMaxPieces && pos + 8 <= end; ++n) {
        const uint32_t length = be32(b, pos + 4);
        const uint64_t next = uint64_t(pos) + 8 + length + (length & 1);
        out.insert({pos, pos + 8, std::size_t(std::min<uint64_t>(pos + 8 + uint64_t(length), end))});
        if (next > end) break;
        pos = std::size_t(next);
    }
}

void walkIcns(const Bytes& b, std::set<std::size_t>& out) {
    std::size_t pos = 8;
    out.insert({4, 8});
    for (int n = 0; n < kMaxPieces && pos + 8 <= b.size(); ++n) {
        const uint32_t length = be32(b, pos + 4);
        out.insert({pos, pos + 8});
        if (length < 8 || uint64_t(pos) + length > b.size()) break;
        pos += length;
    }
    out.insert(pos);
}

void walkIco(const Bytes& b, std::set<std::size_t>& out) {
    const uint32_t count = le16(b, 4);
    out.insert(6);
    for (uint32_t i = 0; i < count && i < uint32_t(kMaxPieces) && 6 + 16 * (i + 1) <= b.size(); ++i) {
        const std::size_t entry = 6 + 16 * i;
        const uint64_t offset = le32(b, entry + 12), length = le32(b, entry + 8);
        out.insert(entry + 16);
        for (uint64_t at : {offset, offset + 40, offset + length})
            if (at <= b.size()) out.insert(std::size_t(at));
    }
}

// The byte a field change writes at d.at + i.
uint8_t fieldByte(const Damage& d, uint32_t i) {
    const uint32_t shift = d.bigEndian ? 8 * (d.width - 1 - i) : 8 * i;
    return uint8_t(d.value >> shift);
}

// The bytes a field change alters, as (offset, new byte) pairs, found
// without copying the file (a plan weighs thousands of changes). Two
// changes with the same pairs make the same file.
using Change = std::vector<std::pair<uint32_t, uint8_t>>;
Change changeOf(const Bytes& file, const Damage& d) {
    Change change;
    for (uint32_t i = 0; i < d.width && d.at + i < file.size(); ++i)
        if (file[d.at + i] != fieldByte(d, i)) change.emplace_back(d.at + i, fieldByte(d, i));
    return change;
}

}  // namespace

std::vector<std::size_t> structureBoundaries(const Bytes& b) {
    std::set<std::size_t> out;
    if (startsWith(b, 0, "icns", 4)) walkIcns(b, out);
    if (startsWith(b, 0, "\0\0\1\0", 4)) walkIco(b, out);
    if (startsWith(b, 0, "\xE3\x10\0\1", 4)) out.insert({78, 78 + 56});  // header, drawer data
    // PNG files and IFF forms wherever they start: whole files, PNG icons
    // back to back, FORM ICON behind a classic icon, PNG entries and elements.
    for (std::size_t at = 0; at + 8 <= b.size(); ++at) {
        if (startsWith(b, at, "\x89PNG\r\n\x1A\n", 8)) walkPng(b, at, out);
        else if (startsWith(b, at, "FORM", 4)) walkIff(b, at, out);
        if (out.size() > 4 * kMaxPieces) break;
    }
    std::vector<std::size_t> result;
    for (std::size_t at : out)
        if (at <= b.size()) result.push_back(at);
    return result;
}

std::vector<uint32_t> cutLengths(std::size_t size, const std::vector<std::size_t>& boundaries) {
    std::set<uint32_t> lengths;
    for (std::size_t n = 0; n < size && n <= 4096; ++n) lengths.insert(uint32_t(n));
    if (size > 4097)
        for (std::size_t i = 0; i < 256; ++i)
            lengths.insert(uint32_t(4097 + (size - 4097) * i / 256));
    for (std::size_t at : boundaries)
        for (std::size_t n = at > 16 ? at - 16 : 0; n <= at + 16 && n < size; ++n)
            lengths.insert(uint32_t(n));
    return {lengths.begin(), lengths.end()};
}

std::vector<uint32_t> diskSizes(const std::vector<std::size_t>& writeEnds, std::size_t size) {
    std::set<uint32_t> sizes;
    if (size > 0) sizes.insert(0);
    for (std::size_t end : writeEnds)
        for (std::size_t room : {end - 1, end})
            if (end > 0 && room < size) sizes.insert(uint32_t(room));
    return {sizes.begin(), sizes.end()};
}

uint64_t seedOf(const Bytes& file) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (uint8_t byte : file) hash = (hash ^ byte) * 0x100000001b3u;
    return hash;
}

std::vector<uint32_t> sampled(std::vector<uint32_t> values, std::size_t limit, uint64_t seed) {
    if (limit == 0 || values.size() <= limit) return values;
    // splitmix64 drives a partial Fisher-Yates shuffle.
    auto next = [&seed]() {
        uint64_t z = (seed += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    };
    std::vector<std::size_t> index(values.size());
    for (std::size_t i = 0; i < index.size(); ++i) index[i] = i;
    for (std::size_t i = 0; i < limit; ++i) std::swap(index[i], index[i + next() % (index.size() - i)]);
    index.resize(limit);
    std::sort(index.begin(), index.end());
    std::vector<uint32_t> kept;
    for (std::size_t i : index) kept.push_back(values[i]);
    return kept;
}

std::vector<Damage> plannedLoadDamage(const Bytes& file, const PlanLimits& limits) {
    const uint64_t seed = seedOf(file);
    std::vector<Damage> plan;
    for (uint32_t length : sampled(cutLengths(file.size(), structureBoundaries(file)),
                                   limits.truncations, seed))
        plan.push_back({Kind::Truncate, length});

    // Flips at the same offsets as the cuts: every byte of the first 4 KiB,
    // then spread through the rest.
    std::vector<uint32_t> offsets = cutLengths(file.size(), {});
    for (uint32_t at : sampled(offsets, limits.flips, seed + 1)) plan.push_back({Kind::Flip, at});

    // Every 16- and 32-bit field in the first 512 bytes, set to each special
    // value in both byte orders, numbered so that a sample can pick some. A
    // change that makes the same file as a flip or an earlier change (zero
    // and all ones read the same in both orders; a file's zero bytes make a
    // 32-bit value of a 16-bit one) is left out: the same bytes load the same.
    struct Special {
        uint8_t width;
        uint32_t value;
    };
    static constexpr Special kSpecials[] = {
        {2, 0}, {2, 1}, {2, 0x7FFF}, {2, 0x8000}, {2, 0xFFFF}, {2, 0x7F}, {2, 0x80},
        {4, 0}, {4, 1}, {4, 0x7FFFFFFF}, {4, 0x80000000}, {4, 0xFFFFFFFF}, {4, 0x7F}, {4, 0x80}};
    constexpr uint32_t kFieldBytes = 512;
    std::set<Change> made;
    for (uint32_t at = 0; at < kFieldBytes + 3 && at < file.size(); ++at)
        made.insert({{at, uint8_t(~file[at])}});
    std::vector<Damage> fields;
    for (uint32_t at = 0; at < kFieldBytes && at < file.size(); ++at)
        for (const Special& special : kSpecials)
            for (bool bigEndian : {true, false}) {
                if (at + special.width > file.size()) continue;
                Damage d{Kind::Field, at, special.width, bigEndian, special.value};
                Change change = changeOf(file, d);
                if (!change.empty() && made.insert(std::move(change)).second) fields.push_back(d);
            }
    std::vector<uint32_t> numbers(fields.size());
    for (uint32_t i = 0; i < numbers.size(); ++i) numbers[i] = i;
    for (uint32_t i : sampled(numbers, limits.fields, seed + 2)) plan.push_back(fields[i]);
    return plan;
}

Bytes apply(const Bytes& file, const Damage& d) {
    Bytes out = file;
    switch (d.kind) {
    case Kind::Truncate: out.resize(std::min<std::size_t>(d.at, out.size())); break;
    case Kind::Flip:
        if (d.at < out.size()) out[d.at] ^= 0xFF;
        break;
    case Kind::Field:
        for (uint32_t i = 0; i < d.width && d.at + i < out.size(); ++i) out[d.at + i] = fieldByte(d, i);
        break;
    default: break;
    }
    return out;
}

std::string describe(const Damage& d, const std::string& formatName) {
    char text[160];
    const char* compressed = d.compress ? ", compressed" : "";
    switch (d.kind) {
    case Kind::Load: return "load";
    case Kind::Truncate: std::snprintf(text, sizeof text, "load cut to %u bytes", d.at); break;
    case Kind::Flip: std::snprintf(text, sizeof text, "load with the byte at %u inverted", d.at); break;
    case Kind::Field:
        std::snprintf(text, sizeof text, "load with the %d-bit field at %u = 0x%X (%s)", d.width * 8, d.at,
                      d.value, d.bigEndian ? "big-endian" : "little-endian");
        break;
    case Kind::LoadAllocation:
        std::snprintf(text, sizeof text, "load with allocation %u failing", d.at);
        break;
    case Kind::Save:
        std::snprintf(text, sizeof text, "save as %s%s and load back", formatName.c_str(), compressed);
        break;
    case Kind::SaveAllocation:
        std::snprintf(text, sizeof text, "save as %s%s with allocation %u failing", formatName.c_str(),
                      compressed, d.at);
        break;
    case Kind::SaveWriteLimit:
        std::snprintf(text, sizeof text, "save as %s%s onto a disk full after %u bytes",
                      formatName.c_str(), compressed, d.at);
        break;
    }
    return text;
}

std::string slug(const Damage& d, const std::string& formatName) {
    char text[96];
    switch (d.kind) {
    case Kind::Truncate: std::snprintf(text, sizeof text, "cut-%u", d.at); break;
    case Kind::Flip: std::snprintf(text, sizeof text, "flip-%u", d.at); break;
    case Kind::Field:
        std::snprintf(text, sizeof text, "field-%u-%d-%s-%X", d.at, d.width, d.bigEndian ? "be" : "le",
                      d.value);
        break;
    case Kind::LoadAllocation: std::snprintf(text, sizeof text, "alloc-%u", d.at); break;
    case Kind::SaveAllocation:
        std::snprintf(text, sizeof text, "save-%s-alloc-%u", formatName.c_str(), d.at);
        break;
    case Kind::SaveWriteLimit:
        std::snprintf(text, sizeof text, "save-%s-full-%u", formatName.c_str(), d.at);
        break;
    case Kind::Save: std::snprintf(text, sizeof text, "save-%s", formatName.c_str()); break;
    default: return "load";
    }
    return text;
}

}  // namespace pictra::sweep
