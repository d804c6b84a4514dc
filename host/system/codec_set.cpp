#include "host/system/codecs.h"

namespace pictra::host {

const CodecSet& systemCodecs() {
    static constexpr CodecSet set{"system",
                                  system::decodePng,
                                  system::decodePngInPlace,
                                  system::decodeJpeg2000,
                                  system::encodeRgbaPng,
                                  system::compress,
                                  system::uncompress,
                                  system::crc32};
    return set;
}

}  // namespace pictra::host
