// For the suites that compare pixels (Windows and macOS icons): pictures
// copied out of a loaded icon as 0xAARRGGBB, picture lists built in test
// memory for saving, and running the independent tools they compare with.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "byte_builder.h"
#include "loaded_module.h"

namespace pictra::test {

// A loaded picture; a palette picture's transparent pen reads as 0, every
// other pen opaque in its palette colour.
struct Picture {
    int32_t width = 0, height = 0, depth = 0, transparentPen = -1;
    std::vector<uint32_t> argb;
};

inline std::vector<uint32_t> argbOf(const IconImage& image) {
    std::vector<uint32_t> argb(std::size_t(image.width) * std::size_t(image.height));
    for (std::size_t i = 0; i < argb.size(); ++i) {
        if (image.depth > 8) {
            argb[i] = static_cast<const uint32_t*>(image.pixels)[i];
            continue;
        }
        const uint8_t pen = static_cast<const uint8_t*>(image.pixels)[i];
        argb[i] = pen == image.transparentPen ? 0u : 0xFF000000u | (image.palette[pen] & 0xFFFFFFu);
    }
    return argb;
}

inline std::vector<Picture> copies(const IconRecord* icon) {
    std::vector<Picture> pictures;
    for (IconImage* image : picturesOf(icon))
        pictures.push_back({image->width, image->height, image->depth, image->transparentPen, argbOf(*image)});
    return pictures;
}

// Pixels that differ; unless `exact`, all fully transparent pixels are equal.
inline std::size_t differingPixels(std::span<const uint32_t> a, std::span<const uint32_t> b,
                                   bool exact = false) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && (exact || (a[i] >> 24) != 0 || (b[i] >> 24) != 0)) ++count;
    return count;
}

// Pictures for SaveIcon held in test memory, linked in the order added;
// palettes start black, pixels 0.
class PictureList {
public:
    IconImage* add(int32_t width, int32_t height, int32_t depth, int32_t transparentPen = -1) {
        auto& node = nodes_.emplace_back(std::make_unique<Node>());
        const std::size_t count = std::size_t(width) * std::size_t(height);
        node->pens.assign(depth <= 8 ? count : 0, 0);
        node->words.assign(depth <= 8 ? 0 : count, 0);
        node->image = IconImage{nullptr, depth <= 8 ? static_cast<void*>(node->pens.data()) : node->words.data(),
                                width, height, 0, depth <= 8 ? node->palette.data() : nullptr, transparentPen, depth, 0};
        if (nodes_.size() > 1) nodes_[nodes_.size() - 2]->image.next = &node->image;
        return &node->image;
    }
    IconImage* head() { return nodes_.empty() ? nullptr : &nodes_.front()->image; }

private:
    struct Node {
        IconImage image{};
        std::vector<uint8_t> pens;
        std::vector<uint32_t> words, palette = std::vector<uint32_t>(256, 0);
    };
    std::vector<std::unique_ptr<Node>> nodes_;
};

inline uint8_t* pensOf(IconImage* image) { return static_cast<uint8_t*>(image->pixels); }
inline uint32_t* wordsOf(IconImage* image) { return static_cast<uint32_t*>(image->pixels); }

// The module loading and saving the format of the saver `saver`, files made
// in the test going through the scratch file `scratch`.
class PictureModuleTest : public LoadedModuleTest {
protected:
    PictureModuleTest(const char* saver, const char* scratch) : saver_(saver), scratch_(scratch) {}
    void SetUp() override {
        LoadedModuleTest::SetUp();
        format_ = formatId(saver_);
    }

    // The icon's pictures, or nothing when the module refuses the file.
    std::optional<std::vector<Picture>> load(const std::string& file) const {
        host::IconPtr record = loadIcon(file);
        if (!record) return std::nullopt;
        return copies(record.get());
    }
    std::optional<std::vector<Picture>> loadBytes(const Bytes& bytes) const { return load(scratchFile(scratch_, bytes)); }
    int32_t save(const std::string& file, IconImage* images, bool compress = false) const {
        return saveIcon(file, images, format_, nullptr, compress);
    }

    const std::string saver_;
    const std::string scratch_;
    uint32_t format_ = 0;
};

class MacIconTest : public PictureModuleTest {
protected:
    MacIconTest() : PictureModuleTest("MACOS", "in.icns") {}
};

inline const char* const kPython = "/usr/bin/python3";

// Runs a shell command: whether it exited with 0, and its standard output.
inline bool runCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        if (output) output->append(buffer, got);
    return ::pclose(pipe) == 0;
}

// One picture a peer tool read.
struct PeerPicture {
    bool ok = false;
    uint32_t kind = 0;  // what the tool's script says of it
    Picture picture;
};

// A dump the peer scripts write with tests/peer_dump.py, which gives its layout.
inline std::vector<PeerPicture> readPeerDump(const std::string& file) {
    const Bytes bytes = readFile(file);
    std::vector<PeerPicture> out;
    for (std::size_t i = 0, at = 8; bytes.size() >= 8 && i < le32At(bytes, 4) && at + 16 <= bytes.size(); ++i) {
        PeerPicture entry{le32At(bytes, at) != 0, le32At(bytes, at + 4),
                          {int32_t(le32At(bytes, at + 8)), int32_t(le32At(bytes, at + 12)), 0, -1, {}}};
        at += 16;
        const std::size_t count = std::size_t(entry.picture.width) * std::size_t(entry.picture.height);
        if (at + 4 * count > bytes.size()) break;
        for (std::size_t p = 0; p < count; ++p, at += 4)
            entry.picture.argb.push_back(uint32_t(bytes[at + 3]) << 24 | bytes[at] << 16 | bytes[at + 1] << 8 | bytes[at + 2]);
        out.push_back(std::move(entry));
    }
    return out;
}

inline bool havePython(const std::string& module) {
    return runCommand(std::string(kPython) + " -c 'import " + module + "' 2>/dev/null");
}

}  // namespace pictra::test
