#include "host/portable/codecs.h"

namespace pictra::host {

const CodecSet& portableCodecs() {
    static constexpr CodecSet set{"portable",
                                  portable::decodePng,
                                  portable::decodePngInPlace,
                                  portable::decodeJpeg2000,
                                  portable::encodeRgbaPng,
                                  portable::compress,
                                  portable::uncompress,
                                  portable::crc32};
    return set;
}

}  // namespace pictra::host
