#include "artwork.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cairo.h>
#include <librsvg/rsvg.h>

#include "errors.h"
#include "host/posix_file.h"
#include "host/resample.h"

namespace pictra::cli {

namespace {

// No artwork file an icon is drawn from comes near this.
constexpr off_t kMaxArtBytes = off_t{64} << 20;
constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::vector<uint8_t> readArtFile(const std::string& path) {
    host::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) throw FileError(path, "cannot open: " + systemMessage(errno));
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) throw FileError(path, "not a regular file");
    if (status.st_size > kMaxArtBytes) throw FileError(path, "too large for artwork (over 64 MiB)");
    std::vector<uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    const ssize_t got = host::readFully(file.get(), bytes);
    if (got < 0) throw FileError(path, "cannot read: " + systemMessage(errno));
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

bool isPng(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= sizeof kPngSignature && std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin());
}

// Text that begins, after white space and a byte-order mark, with "<": an
// XML document, which librsvg then judges; also gzip (an .svgz file).
bool mayBeSvg(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B) return true;
    std::size_t i = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
    return i < bytes.size() && bytes[i] == '<';
}

// Cairo's words are premultiplied 0xAARRGGBB; the host's are not.
uint32_t straightAlpha(uint32_t word) {
    const uint32_t alpha = word >> 24;
    if (alpha == 0) return 0;
    uint32_t pixel = alpha << 24;
    for (int shift = 16; shift >= 0; shift -= 8) {
        const uint32_t value = std::min<uint32_t>(((word >> shift & 0xFF) * 255 + alpha / 2) / alpha, 255);
        pixel |= value << shift;
    }
    return pixel;
}

}  // namespace

struct Artwork::Document {
    RsvgHandle* handle = nullptr;
    std::optional<std::pair<double, double>> size;
    ~Document() {
        if (handle) g_object_unref(handle);
    }
};

Artwork::Artwork(std::string path) : path_(std::move(path)) {}
Artwork::Artwork(Artwork&&) noexcept = default;
Artwork& Artwork::operator=(Artwork&&) noexcept = default;
Artwork::~Artwork() = default;

Artwork Artwork::load(const std::string& path) {
    Artwork art(path);
    const std::vector<uint8_t> bytes = readArtFile(path);
    if (isPng(bytes)) {
        std::string error;
        art.picture_ = host::decodeImage(bytes, &error);
        if (!art.picture_) throw FileError(path, "a PNG file that cannot be decoded: " + error);
        return art;
    }
    if (!mayBeSvg(bytes)) throw FileError(path, "not artwork (a PNG file or an SVG document)");
    GError* error = nullptr;
    art.document_ = std::make_unique<Document>();
    art.document_->handle = rsvg_handle_new_from_data(bytes.data(), bytes.size(), &error);
    if (!art.document_->handle) {
        const std::string reason = error ? error->message : "unknown reason";
        if (error) g_error_free(error);
        throw FileError(path, "not an SVG document librsvg can read: " + reason);
    }
    double width = 0, height = 0;
    gboolean hasViewBox = false;
    RsvgRectangle viewBox{};
    if (rsvg_handle_get_intrinsic_size_in_pixels(art.document_->handle, &width, &height) && width > 0 && height > 0) {
        art.document_->size = std::pair(width, height);
    } else {
        rsvg_handle_get_intrinsic_dimensions(art.document_->handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox,
                                             &viewBox);
        if (hasViewBox && viewBox.width > 0 && viewBox.height > 0)
            art.document_->size = std::pair(viewBox.width, viewBox.height);
    }
    return art;
}

std::optional<std::pair<uint32_t, uint32_t>> Artwork::naturalSize() const {
    if (picture_) return std::pair(picture_->width, picture_->height);
    if (!document_->size) return std::nullopt;
    const auto pixels = [](double length) {
        return static_cast<uint32_t>(std::clamp(std::ceil(length), 1.0, double(host::kMaxResampleSide)));
    };
    return std::pair(pixels(document_->size->first), pixels(document_->size->second));
}

host::Picture Artwork::render(uint32_t width, uint32_t height) const {
    if (!document_) throw FileError(path_, "a PNG picture is resampled, not drawn");
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height));
    cairo_t* cairo = cairo_create(surface);
    const RsvgRectangle viewport{0, 0, double(width), double(height)};
    GError* error = nullptr;
    bool drawn = rsvg_handle_render_document(document_->handle, cairo, &viewport, &error);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    std::string reason = error ? error->message : "cannot make a picture of that size";
    if (error) g_error_free(error);
    drawn = drawn && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    host::Picture picture{width, height, std::vector<uint32_t>(drawn ? std::size_t(width) * height : 0)};
    if (drawn) {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
        for (uint32_t y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
            for (uint32_t x = 0; x < width; ++x) picture.pixels[std::size_t(y) * width + x] = straightAlpha(row[x]);
        }
    }
    cairo_surface_destroy(surface);
    if (!drawn) throw FileError(path_, "librsvg could not draw it: " + reason);
    return picture;
}

}  // namespace pictra::cli
