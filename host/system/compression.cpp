// Block compression on libdeflate. Each thread keeps its own compressor and
// decompressor, so calls never share state.
#include <libdeflate.h>

#include <memory>

#include "host/compression.h"
#include "host/system/codecs.h"

namespace pictra::host::system {
namespace {

constexpr int kCompressionLevel = 6;  // zlib's default

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_compressor* threadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressor;
    if (!compressor) compressor.reset(libdeflate_alloc_compressor(kCompressionLevel));
    return compressor.get();
}

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor;
    if (!decompressor) decompressor.reset(libdeflate_alloc_decompressor());
    return decompressor.get();
}

}  // namespace

int32_t compress(void* destination, uint32_t* length, const void* source, uint32_t sourceLength) {
    libdeflate_compressor* compressor = threadCompressor();
    if (!compressor) return kZMemError;
    // libdeflate reports "does not fit" as 0; a zlib stream is never empty.
    const std::size_t produced =
        libdeflate_zlib_compress(compressor, source, sourceLength, destination, *length);
    if (produced == 0) return kZBufError;
    *length = static_cast<uint32_t>(produced);
    return kZOk;
}

int32_t uncompress(void* destination, uint32_t* length, const void* source,
                   uint32_t sourceLength) {
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kZMemError;
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_zlib_decompress(
        decompressor, source, sourceLength, destination, *length, &produced);
    switch (result) {
    case LIBDEFLATE_SUCCESS:
        *length = static_cast<uint32_t>(produced);
        return kZOk;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return kZBufError;
    default:
        // Corrupt and truncated streams alike, as uncompress() reports them.
        return kZDataError;
    }
}

uint32_t crc32(const void* buffer, uint32_t length) { return libdeflate_crc32(0, buffer, length); }

}  // namespace pictra::host::system
