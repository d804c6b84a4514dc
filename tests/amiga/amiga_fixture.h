// What the Amiga suites share: the loaded module with load and save by
// format name, a builder of hand-made classic icons, big-endian readers and
// NewIcons lines between their file form and a tool-type block.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "byte_builder.h"
#include "loaded_module.h"

namespace pictra::test {

using Texts = std::vector<std::string>;

// The tool type NewIcons lines follow.
inline const std::string kMarker = "*** DON'T EDIT THE FOLLOWING LINES!! ***";

template <typename T, typename... Parts>
std::vector<T> concat(std::vector<T> all, const Parts&... parts) {
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

// The lines of file-form text (a big-endian length word counting the NUL,
// the characters, the NUL), as strings without their NULs.
inline std::vector<std::string> linesOf(const Bytes& file) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at + 4 <= file.size();) {
        const uint32_t length = be32(file, at);
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
    for (const std::string& line : lines) block += line + '\0';
    return block + '\0';
}

struct LoadedIcon {
    host::IconPtr icon;
    IconAttributes attributes{};

    std::vector<IconImage*> pictures() const { return picturesOf(icon.get()); }
    std::vector<std::string> toolTypes() const { return toolTypesOf(attributes); }
};

class AmigaModuleTest : public LoadedModuleTest {
protected:
    LoadedIcon load(const std::string& file) const {
        LoadedIcon loaded;
        loaded.icon = loadIcon(file, &loaded.attributes);
        return loaded;
    }
    LoadedIcon loadBytes(const Bytes& bytes) const { return load(scratchFile("in.info", bytes)); }
    int32_t save(const std::string& file, IconImage* images, const std::string& format,
                 const IconAttributes* attributes, int32_t compress = 0) const {
        return saveIcon(file, images, formatId(format), attributes, compress);
    }
};

// A classic icon put together field by field, its one picture a bitmap of
// width x height x depth filled with a pattern.
struct ClassicIcon {
    uint32_t width = 16, height = 4, depth = 2;
    uint32_t userData = 1;
    uint32_t type = 3;
    bool drawerData = false;
    const char* defaultTool = nullptr;
    std::optional<std::vector<std::string>> toolTypes;  // none: no tool-type block
    const char* toolWindow = nullptr;
    Bytes extension;  // bytes after the tool types (and tool window)
    Bytes trailing;   // bytes after those

    static void putString(ByteBuilder& out, const std::string& text) {
        out.be32(uint32_t(text.size() + 1)).text(text).u8(0);
    }

    Bytes bytes() const {
        ByteBuilder out;
        out.be16(0xE310).be16(1).be32(0).be16(0).be16(0).be16(width).be16(height);
        out.be16(4).be16(3).be16(1).be32(1).be32(0);
        out.be32(0).be32(0).be32(0).be16(0).be32(userData).u8(type).u8(0);
        out.be32(defaultTool ? 1 : 0).be32(toolTypes ? 1 : 0).be32(0x80000000).be32(0x80000000);
        out.be32(drawerData ? 1 : 0).be32(toolWindow ? 1 : 0).be32(4096);
        if (drawerData) out.be16(10).be16(20).be16(300).be16(200).zeros(48);
        const uint32_t planeBytes = (((width + 15) >> 3) & ~1u) * height * depth;
        out.be16(0).be16(0).be16(width).be16(height).be16(depth).be32(1).u8(3).u8(0).be32(0);
        for (uint32_t b = 0; b < planeBytes; ++b) out.u8(0xA5 ^ b * 7);
        if (defaultTool) putString(out, defaultTool);
        if (toolTypes) {
            out.be32(uint32_t(toolTypes->size() + 1) * 4);
            for (const std::string& text : *toolTypes) putString(out, text);
        }
        if (toolWindow) putString(out, toolWindow);
        out.raw(extension).raw(trailing);
        return out.bytes();
    }
};

}  // namespace pictra::test
