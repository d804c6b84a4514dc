#include "label_font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "text.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_easy_font.h>
#pragma GCC diagnostic pop

namespace pictra::cli {

namespace {

constexpr char kFirstGlyph = ' ';
constexpr char kLastGlyph = '~';
constexpr char kMissingGlyph = '?';
// The font makes a glyph of at most this many quads, each four vertices of
// 16 bytes.
constexpr std::size_t kBytesPerGlyph = 16 * 4 * 16;
constexpr std::size_t kVertexBytes = 16;
constexpr std::size_t kQuadBytes = 4 * kVertexBytes;

struct Vertex {
    float x;
    float y;
};

Vertex vertexAt(const std::vector<unsigned char>& buffer, std::size_t offset) {
    Vertex vertex;
    std::memcpy(&vertex.x, buffer.data() + offset, sizeof(float));
    std::memcpy(&vertex.y, buffer.data() + offset + sizeof(float), sizeof(float));
    return vertex;
}

// The font reads its tables at (character - 32): only the characters it has
// may reach it.
bool hasGlyph(char c) { return c >= kFirstGlyph && c <= kLastGlyph; }

std::string glyphsOnly(std::string_view text) {
    std::string line(text);
    std::replace_if(line.begin(), line.end(), [](char c) { return !hasGlyph(c); }, kMissingGlyph);
    return line;
}

}  // namespace

std::string fontText(std::string_view utf8) {
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, pos);
        const char c = static_cast<char>(cp);
        out += cp < 0x80 && hasGlyph(c) ? c : kMissingGlyph;
    }
    return out;
}

uint32_t textWidth(std::string_view text) {
    std::string line = glyphsOnly(text);
    return static_cast<uint32_t>(stb_easy_font_width(line.data()));
}

void drawText(host::Picture& picture, int64_t x, int64_t y, std::string_view text, uint32_t colour) {
    std::string line = glyphsOnly(text);
    std::vector<unsigned char> vertices(line.size() * kBytesPerGlyph + kQuadBytes);
    // Quads are placed from the origin, so every coordinate is a small whole
    // number and the drawing is the same on every machine.
    const int quads = stb_easy_font_print(0, 0, line.data(), nullptr, vertices.data(),
                                          static_cast<int>(vertices.size()));
    for (int quad = 0; quad < quads; ++quad) {
        const std::size_t offset = static_cast<std::size_t>(quad) * kQuadBytes;
        const Vertex from = vertexAt(vertices, offset);
        const Vertex to = vertexAt(vertices, offset + 2 * kVertexBytes);
        const int64_t left = std::max<int64_t>(x + std::lround(from.x), 0);
        const int64_t top = std::max<int64_t>(y + std::lround(from.y), 0);
        const int64_t right = std::min<int64_t>(x + std::lround(to.x), picture.width);
        const int64_t bottom = std::min<int64_t>(y + std::lround(to.y), picture.height);
        for (int64_t row = top; row < bottom; ++row)
            for (int64_t column = left; column < right; ++column)
                picture.pixels[static_cast<std::size_t>(row) * picture.width +
                               static_cast<std::size_t>(column)] = colour;
    }
}

}  // namespace pictra::cli
