// zlib streams on stb: stb_image_write compresses, stb_image inflates. stb's
// inflater neither checks the Adler-32 trailer nor tells a full destination
// from corrupt data, so both are done here. As with zlib, bytes after the
// trailer are ignored.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/compression.h"
#include "host/portable/codecs.h"
#include "host/portable/stb.h"

namespace pictra::host::portable {
namespace {

// stb's search depth, as its own PNG writer uses it.
constexpr int kCompressionQuality = 8;
constexpr uint32_t kZlibTrailer = 4;
// stb writes no deflate block at all for empty input; this is the stream
// with one empty final block (fixed codes), stb's header and Adler-32 1.
constexpr uint8_t kEmptyStream[] = {0x78, 0x5E, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};

struct CFree {
    void operator()(void* block) const { std::free(block); }
};

}  // namespace

int32_t compress(void* destination, uint32_t* length, const void* source, uint32_t sourceLength) {
    if (sourceLength > INT_MAX) return kZMemError;
    if (sourceLength == 0) {
        if (*length < sizeof kEmptyStream) return kZBufError;
        std::memcpy(destination, kEmptyStream, sizeof kEmptyStream);
        *length = sizeof kEmptyStream;
        return kZOk;
    }
    int produced = 0;
    // stb reads the source only, whatever its signature says.
    std::unique_ptr<unsigned char, CFree> stream(stbi_zlib_compress(
        static_cast<unsigned char*>(const_cast<void*>(source)), static_cast<int>(sourceLength),
        &produced, kCompressionQuality));
    if (!stream || produced <= 0) return kZMemError;
    if (static_cast<uint32_t>(produced) > *length) return kZBufError;
    std::memcpy(destination, stream.get(), static_cast<std::size_t>(produced));
    *length = static_cast<uint32_t>(produced);
    return kZOk;
}

int32_t uncompress(void* destination, uint32_t* length, const void* source,
                   uint32_t sourceLength) {
    // Two header bytes and the trailer at least.
    if (sourceLength < 2 + kZlibTrailer || sourceLength > INT_MAX) return kZDataError;
    const int room = *length > INT_MAX ? INT_MAX : static_cast<int>(*length);
    // stb wants a buffer even for no room; a stream that produces nothing
    // never writes to it.
    char spare = 0;
    char* out = room > 0 ? static_cast<char*>(destination) : &spare;
    int consumed = 0;
    const int produced = pictraZlibDecodeMeasured(out, room, static_cast<const char*>(source),
                                                  static_cast<int>(sourceLength), &consumed);
    if (produced < 0) {
        const char* reason = stbi_failure_reason();
        return reason && std::strcmp(reason, "output buffer limit") == 0 ? kZBufError
                                                                          : kZDataError;
    }
    // The trailer follows the last deflate block; a stream cut before its
    // end is corrupt, as zlib sees it.
    if (consumed < 0 || sourceLength - static_cast<uint32_t>(consumed) < kZlibTrailer)
        return kZDataError;
    const auto* in = static_cast<const uint8_t*>(source) + consumed;
    const uint32_t expected =
        uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
    if (adler32(reinterpret_cast<const uint8_t*>(out), static_cast<std::size_t>(produced)) !=
        expected)
        return kZDataError;
    *length = static_cast<uint32_t>(produced);
    return kZOk;
}

}  // namespace pictra::host::portable
