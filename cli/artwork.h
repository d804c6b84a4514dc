// Artwork for `pictra create`: PNG pictures, decoded by the host, and SVG
// documents, drawn by librsvg at each size asked for rather than scaled.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/images.h"

namespace pictra::cli {

class Artwork {
public:
    // Reads `path`: a PNG file or an SVG document (by content). Throws
    // FileError naming it when it is neither or cannot be read.
    static Artwork load(const std::string& path);

    Artwork(Artwork&&) noexcept;
    Artwork& operator=(Artwork&&) noexcept;
    ~Artwork();

    const std::string& path() const { return path_; }
    // The decoded picture of a PNG file; null for an SVG document.
    const host::Picture* picture() const { return picture_ ? &*picture_ : nullptr; }
    // The size the artwork has of its own (an SVG document's in pixels, or
    // of its view box); nothing for a document that states neither.
    std::optional<std::pair<uint32_t, uint32_t>> naturalSize() const;
    // The SVG document drawn to fill `width` x `height`, proportions kept and
    // centred. Throws FileError (also for a PNG picture: that is resampled).
    host::Picture render(uint32_t width, uint32_t height) const;

private:
    struct Document;
    explicit Artwork(std::string path);

    std::string path_;
    std::optional<host::Picture> picture_;
    std::unique_ptr<Document> document_;
};

}  // namespace pictra::cli
