// The portable set has no JPEG 2000 decoder: such images are refused.
#include "host/portable/codecs.h"

namespace pictra::host::portable {

std::optional<Picture> decodeJpeg2000(std::span<const uint8_t>, bool, std::string* error,
                                      const DecodeLimits&) {
    setError(error, "JPEG 2000 images are not supported by this build");
    return std::nullopt;
}

}  // namespace pictra::host::portable
