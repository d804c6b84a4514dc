// The host tables handed to InitPlugin. Every service is reached only
// through these tables; none lets a C++ exception escape into the module.
#include "host/services.h"

#include "host/compression.h"
#include "host/images.h"
#include "host/memory.h"
#include "host/quantiser.h"
#include "host/registry.h"
#include "host/streams.h"

namespace pictra::host {
namespace {

void* allocMemoryService(uint32_t size, uint32_t clear, const char* tag) {
    try {
        return allocMemory(size, clear != 0, tag);
    } catch (...) {
        return nullptr;
    }
}

void freeMemoryService(void* block) { freeMemory(block); }

SystemTable makeSystemTable() {
    SystemTable table{};
    table.AllocMemory = allocMemoryService;
    table.FreeMemory = freeMemoryService;
    table.RegisterFormat = registerFormat;
    return table;
}

StreamTable makeStreamTable() {
    StreamTable table{};
    table.OpenStream = openStream;
    table.CloseStream = closeStream;
    table.SeekStream = seekStream;
    table.ReadStream = readStream;
    table.WriteStream = writeStream;
    table.ReadStreamByte = readStreamByte;
    table.WriteStreamByte = writeStreamByte;
    table.StreamAtEnd = streamAtEnd;
    table.OpenStreamTagged = openStreamTagged;
    table.NameMemoryBlock = nameMemoryBlock;
    table.OpenMemoryOutput = openMemoryOutput;
    table.MemoryOutputBytes = memoryOutputBytes;
    table.CloseMemoryOutput = closeMemoryOutput;
    return table;
}

ImageTable makeImageTable() {
    ImageTable table{};
    table.DecodeImageFile = decodeImageFile;
    table.ImagePixels = imagePixels;
    table.ReleaseImage = releaseImage;
    table.EncodePngFile = encodePngFile;
    table.ConvertPixels = convertPixels;
    return table;
}

CompressionTable makeCompressionTable() {
    CompressionTable table{};
    table.CompressBlock = compressBlock;
    table.UncompressBlock = uncompressBlock;
    return table;
}

ChecksumTable makeChecksumTable() {
    ChecksumTable table{};
    table.Crc32Block = crc32Block;
    return table;
}

const SystemTable kSystem = makeSystemTable();
const StreamTable kStream = makeStreamTable();
const ImageTable kImage = makeImageTable();
const CompressionTable kCompression = makeCompressionTable();
const ChecksumTable kChecksum = makeChecksumTable();

}  // namespace

HostServices makeHostServices(uint32_t hostVersion) {
    HostServices services{};
    services.hostVersion = hostVersion;
    services.system = &kSystem;
    services.stream = &kStream;
    services.image = &kImage;
    services.compression = &kCompression;
    services.checksum = &kChecksum;
    return services;
}

}  // namespace pictra::host
