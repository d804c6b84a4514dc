// The real pictra.vxm loading and saving macOS icons, with pictures copied
// out of the module's records so tests can compare them freely.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "loaded_module.h"

namespace pictra::test {

// One picture as the module handed it out.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t transparentPen = -1;
    std::vector<uint8_t> pens;        // depth 1-8
    std::vector<uint32_t> palette;    // depth 1-8, 256 entries
    std::vector<uint32_t> pixels;     // depth 32, 0xAARRGGBB

    // Every pixel as 0xAARRGGBB; the transparent pen gives alpha 0.
    std::vector<uint32_t> argb() const {
        if (depth == 32) return pixels;
        std::vector<uint32_t> out;
        out.reserve(pens.size());
        for (uint8_t pen : pens)
            out.push_back(pen == transparentPen ? 0u : 0xFF000000u | (palette[pen] & 0xFFFFFFu));
        return out;
    }
};

// A picture list for SaveIcon, held in test memory.
class PictureList {
public:
    IconImage* add(int32_t width, int32_t height, int32_t depth, int32_t transparentPen = -1) {
        auto& node = nodes_.emplace_back(std::make_unique<Node>());
        const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        node->image.width = width;
        node->image.height = height;
        node->image.depth = depth;
        node->image.transparentPen = transparentPen;
        if (depth <= 8) {
            node->pens.assign(count, 0);
            node->palette.assign(256, 0);
            node->image.pixels = node->pens.data();
            node->image.palette = node->palette.data();
        } else {
            node->words.assign(count, 0);
            node->image.pixels = node->words.data();
        }
        if (nodes_.size() > 1) nodes_[nodes_.size() - 2]->image.next = &node->image;
        return &node->image;
    }
    IconImage* head() { return nodes_.empty() ? nullptr : &nodes_.front()->image; }

private:
    struct Node {
        IconImage image{};
        std::vector<uint8_t> pens;
        std::vector<uint32_t> palette;
        std::vector<uint32_t> words;
    };
    std::vector<std::unique_ptr<Node>> nodes_;
};

inline uint8_t* pensOf(IconImage* image) { return static_cast<uint8_t*>(image->pixels); }
inline uint32_t* wordsOf(IconImage* image) { return static_cast<uint32_t*>(image->pixels); }

class MacIconTest : public LoadedModuleTest {
protected:
    void SetUp() override {
        LoadedModuleTest::SetUp();
        macFormat_ = formatId("MACOS");
    }

    // The pictures of the icon at `file`; false when the load fails.
    bool load(const std::string& file, std::vector<Picture>* pictures) {
        pictures->clear();
        host::IconPtr record = loadIcon(file);
        if (!record) return false;
        for (IconImage* image : picturesOf(record.get())) {
            Picture picture;
            picture.width = image->width;
            picture.height = image->height;
            picture.depth = image->depth;
            picture.transparentPen = image->transparentPen;
            const auto count = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
            if (image->depth <= 8) {
                const auto* pens = static_cast<const uint8_t*>(image->pixels);
                picture.pens.assign(pens, pens + count);
                picture.palette.assign(image->palette, image->palette + 256);
            } else {
                const auto* words = static_cast<const uint32_t*>(image->pixels);
                picture.pixels.assign(words, words + count);
            }
            pictures->push_back(std::move(picture));
        }
        return true;
    }

    bool loadBytes(const Bytes& bytes, std::vector<Picture>* pictures) {
        writeFile(path("in.icns"), bytes);
        return load(path("in.icns"), pictures);
    }

    // Saves `images` as a macOS icon at `file`: the module's result.
    int32_t save(const std::string& file, IconImage* images) { return saveIcon(file, images, macFormat_); }

    uint32_t macFormat_ = 0;
};

}  // namespace pictra::test
