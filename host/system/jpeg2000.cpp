// JPEG 2000 decoding through OpenJPEG, from memory, with its messages off.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "host/jpeg2000_layout.h"
#include "host/system/codecs.h"

namespace pictra::host::system {
namespace {

constexpr OPJ_SIZE_T kStreamChunk = 64 * 1024;
constexpr uint32_t kMaxPrecision = 31;
constexpr uint32_t kMaxComponents = 4;  // grey, grey + alpha, RGB, RGBA
// OpenJPEG holds every sample of every component as a 32-bit integer, and
// while it applies a palette the old and the new components side by side.
// Per tile it keeps coding parameters of a few kilobytes, per component more.
constexpr uint64_t kSampleBytes = 4;
constexpr uint64_t kTileBytes = 8 * 1024;
constexpr uint64_t kTileComponentBytes = 2 * 1024;
// Pictures of at least this many pixels (256 x 256) are decoded on every
// core, up to this many threads.
constexpr uint64_t kThreadedPixels = 256 * 256;
constexpr unsigned kMaxThreads = 16;

uint64_t decodeBytes(const Jpeg2000Layout& layout) {
    const uint64_t pixels = uint64_t{layout.width} * layout.height;
    const uint64_t components = layout.components + layout.paletteChannels;
    return pixels * kSampleBytes * components + pixels * 4 +
           layout.tiles * (kTileBytes + components * kTileComponentBytes);
}

// The components OpenJPEG decoded, which a palette may have replaced: one
// to four planes of the picture's full size with a usable precision.
bool usableComponents(const opj_image_t& image, uint32_t width, uint32_t height) {
    if (image.numcomps < 1 || image.numcomps > kMaxComponents || !image.comps) return false;
    for (uint32_t c = 0; c < image.numcomps; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        if (!comp.data || comp.dx != 1 || comp.dy != 1 || comp.w != width || comp.h != height ||
            comp.prec < 1 || comp.prec > kMaxPrecision)
            return false;
    }
    return true;
}

struct Source {
    std::span<const uint8_t> bytes;
    std::size_t offset = 0;
};

OPJ_SIZE_T readSource(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* source = static_cast<Source*>(user);
    const std::size_t left = source->bytes.size() - source->offset;
    if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t n = std::min<std::size_t>(count, left);
    std::memcpy(buffer, source->bytes.data() + source->offset, n);
    source->offset += n;
    return n;
}

OPJ_OFF_T skipSource(OPJ_OFF_T count, void* user) {
    auto* source = static_cast<Source*>(user);
    if (count >= 0) {
        const std::size_t left = source->bytes.size() - source->offset;
        if (left == 0 && count > 0) return -1;
        const std::size_t n = std::min<uint64_t>(static_cast<uint64_t>(count), left);
        source->offset += n;
        return static_cast<OPJ_OFF_T>(n);
    }
    const std::size_t back = std::min<uint64_t>(static_cast<uint64_t>(-(count + 1)) + 1,
                                                source->offset);
    source->offset -= back;
    return -static_cast<OPJ_OFF_T>(back);
}

OPJ_BOOL seekSource(OPJ_OFF_T position, void* user) {
    auto* source = static_cast<Source*>(user);
    if (position < 0 || static_cast<uint64_t>(position) > source->bytes.size()) return OPJ_FALSE;
    source->offset = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

void quiet(const char*, void*) {}

struct CodecFree {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamFree {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageFree {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

// A sample of `precision` bits scaled to 0-255 with rounding; signed samples
// are shifted up by half the range first, out-of-range values clamped.
uint8_t toByte(int32_t sample, uint32_t precision, bool isSigned) {
    const int64_t maximum = (int64_t{1} << precision) - 1;
    int64_t value = sample;
    if (isSigned) value += int64_t{1} << (precision - 1);
    value = std::clamp<int64_t>(value, 0, maximum);
    return static_cast<uint8_t>((value * 255 + maximum / 2) / maximum);
}

using CodecPtr = std::unique_ptr<opj_codec_t, CodecFree>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamFree>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageFree>;

// The sizes the file declares meet the caps before OpenJPEG reads the
// header, which already allocates per tile and per component.
bool withinCaps(const Jpeg2000Layout& layout, const DecodeLimits& limits, std::string* error) {
    if (!checkedPixelCount(layout.width, layout.height, limits, error)) return false;
    if (layout.components > kMaxComponents || layout.paletteChannels > kMaxComponents) {
        setError(error, "unsupported number of JPEG 2000 components");
        return false;
    }
    return withinDecodeBudget(decodeBytes(layout), limits, error);
}

// Threads for a picture of `pixels`: the cores a decode may use for a large
// one, none for a small one, where starting them costs more than they save.
// The code blocks are decoded independently, so the result is the same
// either way.
int decodeThreads(uint64_t pixels, uint32_t cores) {
    if (pixels < kThreadedPixels || !opj_has_thread_support()) return 0;
    if (cores == 0) cores = std::thread::hardware_concurrency();
    const unsigned threads = std::clamp(cores, 1u, kMaxThreads);
    return threads > 1 ? static_cast<int>(threads) : 0;
}

// A decompressor with its messages off, on `threads` threads (0: the caller's).
CodecPtr openCodec(bool codestream, int threads, std::string* error) {
    CodecPtr codec(opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    if (!codec) {
        setError(error, "out of memory");
        return nullptr;
    }
    opj_set_info_handler(codec.get(), quiet, nullptr);
    opj_set_warning_handler(codec.get(), quiet, nullptr);
    opj_set_error_handler(codec.get(), quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters) ||
        (threads > 1 && !opj_codec_set_threads(codec.get(), threads))) {
        setError(error, "cannot set up the JPEG 2000 decoder");
        return nullptr;
    }
    return codec;
}

// An OpenJPEG stream over `source`, which must outlive it.
StreamPtr openSource(Source& source, std::string* error) {
    StreamPtr stream(opj_stream_create(kStreamChunk, OPJ_TRUE));
    if (!stream) {
        setError(error, "out of memory");
        return nullptr;
    }
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), source.bytes.size());
    opj_stream_set_read_function(stream.get(), readSource);
    opj_stream_set_skip_function(stream.get(), skipSource);
    opj_stream_set_seek_function(stream.get(), seekSource);
    return stream;
}

// The header as OpenJPEG reads it, held against the layout read before and
// against what the conversion below handles.
ImagePtr readHeader(opj_codec_t& codec, opj_stream_t& stream, const Jpeg2000Layout& layout,
                    std::string* error) {
    opj_image_t* rawImage = nullptr;
    const bool headerRead = opj_read_header(&stream, &codec, &rawImage);
    ImagePtr image(rawImage);
    if (!headerRead || !image) {
        setError(error, "bad JPEG 2000 header");
        return nullptr;
    }
    if (image->x1 <= image->x0 || image->y1 <= image->y0) {
        setError(error, "image has no pixels");
        return nullptr;
    }
    if (image->x1 - image->x0 != layout.width || image->y1 - image->y0 != layout.height ||
        image->numcomps != layout.components || !image->comps) {
        setError(error, "inconsistent JPEG 2000 header");
        return nullptr;
    }
    if (image->color_space == OPJ_CLRSPC_SYCC || image->color_space == OPJ_CLRSPC_EYCC ||
        image->color_space == OPJ_CLRSPC_CMYK) {
        setError(error, "unsupported JPEG 2000 colour space");
        return nullptr;
    }
    for (uint32_t c = 0; c < image->numcomps; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.dx != 1 || comp.dy != 1) {
            setError(error, "subsampled JPEG 2000 components are not supported");
            return nullptr;
        }
    }
    return image;
}

// The decoded components as 0xAARRGGBB words: grey, grey + alpha, RGB or
// RGBA, as the number of components says.
std::optional<Picture> pictureFromComponents(const opj_image_t& image, uint32_t width,
                                             uint32_t height, std::string* error) {
    // A palette replaces the components while decoding: the picture is
    // built from what is there now.
    if (!usableComponents(image, width, height)) {
        setError(error, "inconsistent JPEG 2000 components");
        return std::nullopt;
    }
    const uint32_t components = image.numcomps;
    const bool grey = components <= 2;
    const bool hasAlpha = components == 2 || components == 4;
    const opj_image_comp_t* red = &image.comps[0];
    const opj_image_comp_t* green = grey ? red : &image.comps[1];
    const opj_image_comp_t* blue = grey ? red : &image.comps[2];
    const opj_image_comp_t* alpha = hasAlpha ? &image.comps[components - 1] : nullptr;

    const std::size_t count = std::size_t{width} * height;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(count);
    uint32_t* out = picture.pixels.data();
    // Unsigned 8-bit samples, as nearly every file has them, are their own
    // bytes: only the clamp is left of the scaling.
    if (std::all_of(image.comps, image.comps + components,
                    [](const opj_image_comp_t& comp) { return comp.prec == 8 && !comp.sgnd; })) {
        const auto byte = [](int32_t sample) { return static_cast<uint32_t>(std::clamp(sample, 0, 255)); };
        const int32_t *r = red->data, *g = green->data, *b = blue->data;
        if (alpha)
            for (std::size_t i = 0; i < count; ++i)
                out[i] = byte(alpha->data[i]) << 24 | byte(r[i]) << 16 | byte(g[i]) << 8 | byte(b[i]);
        else
            for (std::size_t i = 0; i < count; ++i)
                out[i] = 0xFF000000u | byte(r[i]) << 16 | byte(g[i]) << 8 | byte(b[i]);
        return picture;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t r = toByte(red->data[i], red->prec, red->sgnd != 0);
        const uint32_t g = toByte(green->data[i], green->prec, green->sgnd != 0);
        const uint32_t b = toByte(blue->data[i], blue->prec, blue->sgnd != 0);
        const uint32_t a = alpha ? toByte(alpha->data[i], alpha->prec, alpha->sgnd != 0) : 255;
        out[i] = a << 24 | r << 16 | g << 8 | b;
    }
    return picture;
}

}  // namespace

std::optional<Picture> decodeJpeg2000(std::span<const uint8_t> bytes, bool codestream,
                                      std::string* error, const DecodeLimits& limits) {
    const auto layout = readJpeg2000Layout(bytes, codestream, error);
    if (!layout || !withinCaps(*layout, limits, error)) return std::nullopt;
    const CodecPtr codec =
        openCodec(codestream, decodeThreads(uint64_t{layout->width} * layout->height, limits.decodeCores), error);
    if (!codec) return std::nullopt;
    Source source{bytes, 0};
    const StreamPtr stream = openSource(source, error);
    if (!stream) return std::nullopt;
    const ImagePtr image = readHeader(*codec, *stream, *layout, error);
    if (!image) return std::nullopt;
    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        setError(error, "corrupt JPEG 2000 data");
        return std::nullopt;
    }
    return pictureFromComponents(*image, layout->width, layout->height, error);
}

}  // namespace pictra::host::system
