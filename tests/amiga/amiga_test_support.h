// Helpers of the Amiga suites: NewIcons lines between their file form and
// a tool-type block, and the module's host hook-up for codec tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictra::test {

// The lines of file-form text (a big-endian length word counting the NUL,
// the characters, the NUL), as strings without their NULs.
inline std::vector<std::string> linesOf(const std::vector<uint8_t>& file) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at + 4 <= file.size()) {
        const uint32_t length = uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 |
                                uint32_t(file[at + 2]) << 8 | file[at + 3];
        at += 4;
        if (length == 0 || at + length > file.size()) break;
        lines.emplace_back(reinterpret_cast<const char*>(file.data() + at), length - 1);
        at += length;
    }
    return lines;
}

// Texts one after another, each ended by a NUL, and a closing NUL.
inline std::string blockOf(const std::vector<std::string>& lines) {
    std::string block;
    for (const std::string& line : lines) {
        block += line;
        block += '\0';
    }
    block += '\0';
    return block;
}

}  // namespace pictra::test
