#include "amiga_form/run_length.h"

#include "frame/bytes.h"

namespace {

constexpr uint32_t MaxDepth = 8;
constexpr uint32_t CodeBits = 8;
constexpr uint32_t NoOperation = 128;
constexpr uint32_t MaxBlock = 128;
// A run pays only when it saves more than two values' worth of bits over
// literals: its control code and value cost what two literals at depth 8 do.
constexpr uint32_t RunThresholdBits = 16;
constexpr uint32_t FinalRunThresholdBits = 8;

struct BitReader {
    const uint8_t* source;
    uint32_t length;
    uint32_t position;
    uint32_t buffer;  // unread bits, the oldest highest
    uint32_t bits;    // how many
};

// Takes the next `count` bits (at most 8); 0 when the input cannot supply them.
int32_t TakeBits(BitReader* reader, uint32_t count, uint32_t* value) {
    while (reader->bits < count) {
        if (reader->position >= reader->length) return 0;
        reader->buffer = (reader->buffer << 8) | reader->source[reader->position++];
        reader->bits += 8;
    }
    reader->bits -= count;
    *value = (reader->buffer >> reader->bits) & ((1u << count) - 1);
    reader->buffer &= (1u << reader->bits) - 1;
    return 1;
}

struct BitWriter {
    ByteSink sink;
    uint32_t buffer;  // pending bits, fewer than 8 between calls
    uint32_t bits;
};

void PutBits(BitWriter* writer, uint32_t value, uint32_t count) {
    writer->buffer = (writer->buffer << count) | (value & ((1u << count) - 1));
    writer->bits += count;
    while (writer->bits >= 8) {
        writer->bits -= 8;
        PutByte(&writer->sink, writer->buffer >> writer->bits);
    }
    writer->buffer &= (1u << writer->bits) - 1;
}

// The last byte is filled up with zero bits on the right.
void FlushBits(BitWriter* writer) {
    if (writer->bits > 0) PutByte(&writer->sink, writer->buffer << (8 - writer->bits));
    writer->bits = 0;
    writer->buffer = 0;
}

// The encoder's position: values before `emitted` are written out, the next
// `literals` wait to go out as literals, and the `run` after them are equal.
struct PackState {
    const uint8_t* values;
    uint32_t depth;
    uint32_t emitted;
    uint32_t literals;
    uint32_t run;
};

void EmitLiteralBlock(PackState* pack, BitWriter* writer) {
    uint32_t count = pack->literals < MaxBlock ? pack->literals : MaxBlock;
    PutBits(writer, count - 1, CodeBits);
    for (uint32_t i = 0; i < count; ++i) PutBits(writer, pack->values[pack->emitted + i], pack->depth);
    pack->emitted += count;
    pack->literals -= count;
}

void EmitRunBlock(PackState* pack, BitWriter* writer) {
    uint32_t count = pack->run < MaxBlock ? pack->run : MaxBlock;
    PutBits(writer, 257 - count, CodeBits);
    PutBits(writer, pack->values[pack->emitted], pack->depth);
    pack->emitted += count;
    pack->run -= count;
}

bool RunPays(const PackState* pack, uint32_t threshold) { return pack->run * pack->depth > threshold; }

// Everything still pending at the end of the values. A short final run goes
// out with the literals before it as one block.
void EmitRemainder(PackState* pack, BitWriter* writer) {
    while (pack->literals + pack->run > 0) {
        bool shortRun = pack->run == 0 || (pack->run - 1) * pack->depth <= FinalRunThresholdBits;
        if (pack->literals + pack->run <= MaxBlock && shortRun) {
            pack->literals += pack->run;
            pack->run = 0;
            EmitLiteralBlock(pack, writer);
        } else if (pack->literals > 0) {
            EmitLiteralBlock(pack, writer);
        } else {
            EmitRunBlock(pack, writer);
        }
    }
}

}  // namespace

uint32_t DecodeRunLength(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                         uint32_t destinationLength, uint32_t depth) {
    if (depth < 1 || depth > MaxDepth) return 0;
    BitReader reader{source, sourceLength, 0, 0, 0};
    uint32_t produced = 0;
    uint32_t code = 0;
    uint32_t value = 0;
    while (produced < destinationLength && TakeBits(&reader, CodeBits, &code)) {
        if (code == NoOperation) continue;
        if (code < NoOperation) {
            for (uint32_t count = code + 1; count > 0 && produced < destinationLength; --count) {
                if (!TakeBits(&reader, depth, &value)) return produced;
                destination[produced++] = static_cast<uint8_t>(value);
            }
            continue;
        }
        if (!TakeBits(&reader, depth, &value)) break;
        uint32_t room = destinationLength - produced;
        uint32_t count = 257 - code;
        if (count > room) count = room;
        for (uint32_t i = 0; i < count; ++i) destination[produced++] = static_cast<uint8_t>(value);
    }
    return produced;
}

int32_t EncodeRunLength(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                        uint32_t destinationLength, uint32_t depth, uint32_t* packedLength) {
    if (depth < 1 || depth > MaxDepth) return 0;
    BitWriter writer{{destination, destinationLength, 0, false}, 0, 0};
    if (sourceLength > 0) {
        PackState pack{source, depth, 0, 0, 1};
        for (uint32_t scan = 1; scan < sourceLength && !writer.sink.full; ++scan) {
            if (source[scan] == source[scan - 1]) {
                ++pack.run;
                continue;
            }
            if (RunPays(&pack, RunThresholdBits)) {
                while (pack.literals > 0) EmitLiteralBlock(&pack, &writer);
                while (RunPays(&pack, RunThresholdBits)) EmitRunBlock(&pack, &writer);
            }
            // A run too short to pay, or what is left of a long one, joins the
            // literals; the value at `scan` starts the next run.
            pack.literals += pack.run;
            pack.run = 1;
        }
        if (!writer.sink.full) EmitRemainder(&pack, &writer);
        FlushBits(&writer);
    }
    if (writer.sink.full) return 0;
    *packedLength = writer.sink.used;
    return 1;
}
