// The damage the sweep does to a file, and the plan of which damage to do:
// truncations, byte flips, special values in 16- and 32-bit fields, failing
// allocations, saves and saves onto a disk that fills up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictra::sweep {

using Bytes = std::vector<uint8_t>;

enum class Kind : uint8_t {
    Load,            // the file as it is
    Truncate,        // the first `at` bytes
    Flip,            // the byte at `at` inverted
    Field,           // `width` bytes at `at` set to `value` in the chosen byte order
    LoadAllocation,  // the file as it is, allocation number `at` failing
    Save,            // the loaded pictures saved in `format`, and loaded back
    SaveAllocation,  // the same save with allocation number `at` failing
    SaveWriteLimit,  // the same save onto a disk with room for `at` bytes
};

struct Damage {
    Kind kind = Kind::Load;
    uint32_t at = 0;
    uint8_t width = 0;
    bool bigEndian = false;
    uint32_t value = 0;
    int32_t format = -1;   // the save kinds: the saver's index
    bool compress = false;
};

// A line naming the damage exactly, e.g. "32-bit field at 12 = 0x80000000
// (big-endian)"; `formatName` names the saver of the save kinds.
std::string describe(const Damage& damage, const std::string& formatName);
// The same as a short word for file names, e.g. "field-12-4-be-80000000".
std::string slug(const Damage& damage, const std::string& formatName);
// The damaged bytes for the load kinds; the file unchanged for the others.
Bytes apply(const Bytes& file, const Damage& damage);

// Offsets where a reader moves from one chunk, element, entry or section to
// the next, found by walking the IFF, PNG, ICO and ICNS structures the file
// holds (also those embedded in others), sorted and without repeats.
std::vector<std::size_t> structureBoundaries(const Bytes& file);

// Lengths to cut a file of `size` bytes to: every length up to 4 KiB, 256
// spread evenly through the rest, and every length within 16 bytes of a
// boundary. Sorted, each below `size`.
std::vector<uint32_t> cutLengths(std::size_t size, const std::vector<std::size_t>& boundaries);

// Room on the disk for the full-disk saves of a file of `size` bytes whose
// writes ended at `writeEnds`: none at all, and each end and one byte short
// of it (see host::traceFileWrites), each below `size`. Sorted.
std::vector<uint32_t> diskSizes(const std::vector<std::size_t>& writeEnds, std::size_t size);

struct PlanLimits {
    // Zero: no limit. Otherwise at most this many of each kind, chosen by a
    // generator seeded with the file's bytes (the same file, the same choice).
    std::size_t truncations = 0, flips = 0, fields = 0, loadAllocations = 0;
    std::size_t saveAllocations = 0, writeLimits = 0;
};

// Truncations, flips and field changes of `file`.
std::vector<Damage> plannedLoadDamage(const Bytes& file, const PlanLimits& limits);
// Picks at most `limit` of `values` (all when `limit` is 0), keeping their order.
std::vector<uint32_t> sampled(std::vector<uint32_t> values, std::size_t limit, uint64_t seed);
uint64_t seedOf(const Bytes& file);

}  // namespace pictra::sweep
