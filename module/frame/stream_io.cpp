#include "frame/stream_io.h"

#include "frame/host.h"

namespace {

// The host answers -1 at the end of a stream.
uint32_t ReadByte(StreamHandle stream) {
    int32_t value = ReadStreamByte(stream);
    return value < 0 ? 0 : static_cast<uint32_t>(value) & 0xFF;
}

void WriteByte(StreamHandle stream, uint32_t value) {
    WriteStreamByte(stream, static_cast<int32_t>(value & 0xFF));
}

}  // namespace

// The 32-bit forms are two 16-bit halves in the order of their byte order.
uint32_t ReadBE32(StreamHandle stream) {
    uint32_t high = ReadBE16(stream);
    return high << 16 | ReadBE16(stream);
}

uint32_t ReadBE16(StreamHandle stream) {
    uint32_t b0 = ReadByte(stream);
    uint32_t b1 = ReadByte(stream);
    return b0 << 8 | b1;
}

uint32_t ReadLE16(StreamHandle stream) {
    uint32_t b0 = ReadByte(stream);
    uint32_t b1 = ReadByte(stream);
    return b1 << 8 | b0;
}

uint32_t ReadLE32(StreamHandle stream) {
    uint32_t low = ReadLE16(stream);
    return ReadLE16(stream) << 16 | low;
}

void WriteBE32(StreamHandle stream, uint32_t value) {
    WriteBE16(stream, value >> 16);
    WriteBE16(stream, value);
}

void WriteBE16(StreamHandle stream, uint32_t value) {
    WriteByte(stream, value >> 8);
    WriteByte(stream, value);
}

void WriteLE16(StreamHandle stream, uint32_t value) {
    WriteByte(stream, value);
    WriteByte(stream, value >> 8);
}

void WriteLE32(StreamHandle stream, uint32_t value) {
    WriteLE16(stream, value);
    WriteLE16(stream, value >> 16);
}
