// Image decoding: content sniffing, then the codec set.
#include <algorithm>

#include "host/image_codecs.h"
#include "host/images.h"
#include "host/shared_setting.h"

namespace pictra::host {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 'j',  'P',
                                     ' ',  ' ',  0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t kJ2kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC then SIZ

SharedSetting<DecodeLimits>& sharedLimits() {
    static SharedSetting<DecodeLimits> instance;
    return instance;
}

template <std::size_t N>
bool startsWith(std::span<const uint8_t> bytes, const uint8_t (&signature)[N]) {
    return bytes.size() >= N && std::equal(signature, signature + N, bytes.begin());
}

}  // namespace

std::optional<Picture> decodeImageWith(const CodecSet& codecs, std::span<const uint8_t> bytes,
                                       std::string* error, const DecodeLimits& limits) {
    try {
        if (startsWith(bytes, kPngSignature)) return codecs.decodePng(bytes, error, limits);
        if (startsWith(bytes, kJp2Signature)) return codecs.decodeJpeg2000(bytes, false, error, limits);
        if (startsWith(bytes, kJ2kSignature)) return codecs.decodeJpeg2000(bytes, true, error, limits);
        setError(error, "not a PNG or JPEG 2000 image");
    } catch (const std::bad_alloc&) {
        setError(error, "out of memory");
    }
    return std::nullopt;
}

DecodeLimits decodeLimits() { return sharedLimits().get(); }

void setDecodeLimits(const DecodeLimits& limits) { sharedLimits().set(limits); }

std::optional<Picture> decodeImage(std::span<const uint8_t> bytes, std::string* error,
                                   const DecodeLimits& limits) {
    return decodeImageWith(hostCodecs(), bytes, error, limits);
}

std::optional<Picture> decodeImageInPlace(std::span<uint8_t> bytes, std::string* error,
                                          const DecodeLimits& limits) {
    if (!startsWith(bytes, kPngSignature)) return decodeImage(bytes, error, limits);
    try {
        return hostCodecs().decodePngInPlace(bytes, error, limits);
    } catch (const std::bad_alloc&) {
        setError(error, "out of memory");
    }
    return std::nullopt;
}

}  // namespace pictra::host
