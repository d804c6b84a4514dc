// The real pictra.vxm loaded as a host loads it, for the Amiga suites, and a
// builder of hand-made classic icons.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "byte_builder.h"
#include "loaded_module.h"

namespace pictra::test {

class AmigaModuleTest : public LoadedModuleTest {
protected:
    host::IconPtr load(const std::string& file, IconAttributes* attributes = nullptr) const {
        return loadIcon(file, attributes);
    }

    host::IconPtr loadBytes(const Bytes& bytes, IconAttributes* attributes = nullptr) {
        writeFile(path("in.info"), bytes);
        return load(path("in.info"), attributes);
    }

    int32_t save(const std::string& file, IconImage* images, const std::string& format,
                 const IconAttributes* attributes, int32_t compress = 0) const {
        return saveIcon(file, images, formatId(format), attributes, compress);
    }
};

// A classic icon put together field by field, its pictures bitmaps of
// width x height x depth filled with a pattern.
struct ClassicIcon {
    uint32_t width = 16, height = 4, depth = 2;
    bool selected = false;
    uint32_t userData = 1;
    uint32_t type = 3;
    bool drawerData = false;
    uint32_t drawerBox[4] = {10, 20, 300, 200};
    const char* defaultTool = nullptr;
    bool hasToolTypes = false;
    std::vector<std::string> toolTypes;
    const char* toolWindow = nullptr;
    Bytes extension;  // bytes after the tool types (and tool window)
    Bytes trailing;   // bytes after those

    Bytes planeBytes() const {
        const uint32_t rowBytes = ((width + 15) >> 3) & ~1u;
        Bytes bytes(rowBytes * height * depth);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(0xA5 ^ i * 7);
        return bytes;
    }

    static void putString(ByteBuilder& out, const std::string& text) {
        out.be32(uint32_t(text.size() + 1)).text(text).u8(0);
    }

    Bytes bytes() const {
        ByteBuilder out;
        out.be16(0xE310).be16(1).be32(0).be16(0).be16(0).be16(width).be16(height);
        out.be16(selected ? 6 : 4).be16(3).be16(1).be32(1).be32(selected ? 1 : 0);
        out.be32(0).be32(0).be32(0).be16(0).be32(userData).u8(type).u8(0);
        out.be32(defaultTool ? 1 : 0).be32(hasToolTypes ? 1 : 0).be32(0x80000000).be32(0x80000000);
        out.be32(drawerData ? 1 : 0).be32(toolWindow ? 1 : 0).be32(4096);
        if (drawerData) {
            for (uint32_t value : drawerBox) out.be16(value);
            out.zeros(48);
        }
        for (int i = 0; i < (selected ? 2 : 1); ++i) {
            out.be16(0).be16(0).be16(width).be16(height).be16(depth).be32(1).u8(3).u8(0).be32(0);
            out.raw(planeBytes());
        }
        if (defaultTool) putString(out, defaultTool);
        if (hasToolTypes) {
            out.be32(uint32_t(toolTypes.size() + 1) * 4);
            for (const std::string& text : toolTypes) putString(out, text);
        }
        if (toolWindow) putString(out, toolWindow);
        out.raw(extension).raw(trailing);
        return out.bytes();
    }
};

}  // namespace pictra::test
