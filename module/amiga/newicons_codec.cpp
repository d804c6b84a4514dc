#include "amiga/newicons_codec.h"

#include "frame/bytes.h"
#include "frame/sizes.h"
#include "model/attributes.h"

namespace {

constexpr uint32_t GroupBits = 7;
constexpr uint32_t FirstLineData = 9;  // "IMn=" and five header characters
constexpr uint32_t LongestRun = 47;    // zero groups in one run character
constexpr uint8_t RunBase = 0xD0;      // 0xD1 to 0xFF: runs of 1 to 47 zero groups

// ---- Decoding ---------------------------------------------------------------

struct LineReader {
    NewIconsCursor* cursor;
    uint32_t image;
    uint32_t at;       // next character of the current line
    uint32_t end;      // where the current line stops (its NUL or the block's end)
    uint32_t pending;  // zero groups still owed by a run character
};

// The end of the text starting at `start`: its NUL, or the block's end.
uint32_t TextEnd(const NewIconsCursor& cursor, uint32_t start) {
    uint32_t end = start;
    while (end < cursor.length && cursor.texts[end] != '\0') ++end;
    return end;
}

// Makes the text at the cursor the current line, starting at `skip`
// characters in, and moves the cursor past it.
void TakeLine(LineReader* reader, uint32_t skip) {
    NewIconsCursor* cursor = reader->cursor;
    const uint32_t start = cursor->next;
    reader->end = TextEnd(*cursor, start);
    reader->at = reader->end - start < skip ? reader->end : start + skip;
    cursor->next = reader->end < cursor->length ? reader->end + 1 : cursor->length;
}

// A continuation line: "IMn=" of this image and at least one character more.
bool TakeContinuation(LineReader* reader) {
    const NewIconsCursor& cursor = *reader->cursor;
    const uint32_t start = cursor.next;
    if (start >= cursor.length || TextEnd(cursor, start) - start <= NewIconsLinePrefix ||
        NewIconsLineImage(cursor.texts + start, NewIconsLinePrefix) != reader->image + 1)
        return false;
    TakeLine(reader, NewIconsLinePrefix);
    return true;
}

// Characters from 0x20 up map onto groups; the few below, which no writer
// produces, read as a zero group.
uint32_t GroupOf(uint8_t character, uint32_t* pending) {
    if (character > RunBase) {
        *pending = character - RunBase - 1u;
        return 0;
    }
    if (character >= 0xA0) return character - 0x51u;
    if (character >= 0x20) return character - 0x20u;
    return 0;
}

// The next group, or false when the lines have run out. *newLine tells that
// the group opens a new line, whose bits start afresh.
bool NextGroup(LineReader* reader, uint32_t* group, bool* newLine) {
    *newLine = false;
    if (reader->pending) {
        --reader->pending;
        *group = 0;
        return true;
    }
    if (reader->at >= reader->end) {
        if (!TakeContinuation(reader)) return false;
        *newLine = true;
    }
    const auto character = static_cast<uint8_t>(reader->cursor->texts[reader->at++]);
    *group = GroupOf(character, &reader->pending);
    return true;
}

// ---- Encoding ---------------------------------------------------------------

struct LineWriter {
    ByteSink sink;
    uint32_t lineStart;  // offset of the current line's length word
    uint32_t lineLength; // characters in the current line
    uint32_t run;        // zero groups not yet written
};

void PutCharacter(LineWriter* writer, uint8_t character) {
    PutByte(&writer->sink, character);
    ++writer->lineLength;
}

void OpenLine(LineWriter* writer, const char* prefix, uint32_t prefixLength) {
    writer->lineStart = writer->sink.used;
    PutBE32(&writer->sink, 0);  // length word, set when the line closes
    writer->lineLength = 0;
    for (uint32_t i = 0; i < prefixLength; ++i) PutCharacter(writer, static_cast<uint8_t>(prefix[i]));
}

void FlushRun(LineWriter* writer) {
    if (writer->run) PutCharacter(writer, static_cast<uint8_t>(RunBase + writer->run));
    writer->run = 0;
}

void CloseLine(LineWriter* writer) {
    FlushRun(writer);
    PutByte(&writer->sink, 0);
    if (writer->sink.full) return;
    PokeBE32(writer->sink.data + writer->lineStart, writer->lineLength + 1);
}

void EmitGroup(LineWriter* writer, uint32_t group) {
    if (group == 0) {
        if (writer->run == LongestRun) FlushRun(writer);
        ++writer->run;
        return;
    }
    FlushRun(writer);
    PutCharacter(writer, static_cast<uint8_t>(group < 80 ? group + 0x20 : group + 0x51));
}

}  // namespace

int32_t DecodeNewIconValues(NewIconsCursor* cursor, uint32_t image, int32_t firstLine, uint32_t bits,
                            uint32_t count, uint8_t* out, uint32_t outLength) {
    if (bits < 1 || bits > 9) return 0;
    LineReader reader{cursor, image, 0, 0, 0};
    if (firstLine) {
        if (cursor->next >= cursor->length) return count == 0;
        TakeLine(&reader, FirstLineData);
    }
    const uint32_t mask = (1u << bits) - 1;
    uint32_t accumulator = 0;
    uint32_t valid = 0;
    uint32_t produced = 0;
    while (produced < count) {
        uint32_t group = 0;
        bool newLine = false;
        if (!NextGroup(&reader, &group, &newLine)) return 0;
        if (newLine) valid = 0;  // bits left at the end of a line are dropped
        accumulator = accumulator << GroupBits | group;
        valid += GroupBits;
        while (valid >= bits && produced < count) {
            valid -= bits;
            if (produced < outLength) out[produced] = static_cast<uint8_t>((accumulator >> valid) & mask);
            ++produced;
        }
    }
    return 1;
}

int32_t EncodeNewIconValues(const uint8_t* values, uint32_t count, uint32_t bits, const char* prefix,
                            uint32_t prefixLength, uint8_t* out, uint32_t outLength, uint32_t* used,
                            uint32_t* lines) {
    if (bits < 1 || bits > 8 || prefixLength < NewIconsLinePrefix || prefixLength > FirstLineData) return 0;
    LineWriter writer{{out, outLength, 0, false}, 0, 0, 0};
    OpenLine(&writer, prefix, prefixLength);
    uint32_t lineCount = 1;
    uint32_t index = 0;      // value being taken
    uint32_t bit = bits;     // bits of it not yet taken
    bool ended = count == 0;
    while (!ended) {
        uint32_t group = 0;
        for (uint32_t g = 0; g < GroupBits; ++g) {
            uint32_t next = 0;
            if (!ended) {
                --bit;
                next = (values[index] >> bit) & 1;
                if (bit == 0) {
                    bit = bits;
                    ended = ++index == count;
                }
            }
            group = group << 1 | next;
        }
        EmitGroup(&writer, group);
        // 127 characters close a line; a run still owed makes it 128 at most.
        if (!ended && writer.lineLength >= NewIconsLineLimit - 1) {
            CloseLine(&writer);
            OpenLine(&writer, prefix, NewIconsLinePrefix);
            ++lineCount;
            bit = bits;  // the value cut by the line end starts again whole
        }
    }
    CloseLine(&writer);
    if (writer.sink.full) return 0;
    *used += writer.sink.used;
    *lines += lineCount;
    return 1;
}

uint32_t NewIconsEncodedBound(uint32_t count, uint32_t bits) {
    uint32_t totalBits = 0;
    if (!MultiplySize(count, bits, &totalBits)) return 0;
    // Every line but the last holds at least 118 characters of data and
    // repeats at most two groups of a cut value, so a hundred groups of new
    // data per line is a safe floor; each line costs at most 4 + 128 + 1 bytes.
    const uint32_t groups = totalBits / GroupBits + 1;
    uint32_t bytes = 0;
    if (!MultiplySize(groups / 100 + 2, 4 + NewIconsLineLimit + 1, &bytes)) return 0;
    return bytes;
}
