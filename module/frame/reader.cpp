#include "frame/reader.h"

#include "frame/host.h"

int32_t StreamPosition(StreamHandle stream) { return SeekStream(stream, 0, SeekFromCurrent); }

uint32_t StreamBytesLeft(StreamHandle stream) {
    int32_t position = SeekStream(stream, 0, SeekFromEnd);
    if (position < 0) return 0;
    // The seek back answers with the position it left: the end, the size.
    int32_t size = SeekStream(stream, position, SeekFromStart);
    if (size < position) return 0;
    return static_cast<uint32_t>(size - position);
}

int32_t ReadExactly(StreamHandle stream, void* buffer, uint32_t length) {
    if (length > static_cast<uint32_t>(INT32_MAX)) return 0;
    if (length == 0) return 1;
    return ReadStream(stream, buffer, static_cast<int32_t>(length)) == static_cast<int32_t>(length);
}

int32_t SkipForward(StreamHandle stream, uint32_t length) {
    if (length == 0) return 1;
    if (length > StreamBytesLeft(stream)) return 0;
    return SeekStream(stream, static_cast<int32_t>(length), SeekFromCurrent) >= 0;
}
