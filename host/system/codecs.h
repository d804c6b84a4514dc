// The system codec set: libspng, OpenJPEG and libdeflate.
#pragma once

#include "host/image_codecs.h"

namespace pictra::host::system {
#include "host/codec_functions.inc"
}  // namespace pictra::host::system
