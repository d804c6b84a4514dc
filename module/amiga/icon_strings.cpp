#include "amiga/icon_strings.h"

#include <cstring>

#include "frame/bytes.h"
#include "frame/host.h"
#include "frame/tool_types.h"
#include "model/attributes.h"

namespace {

constexpr char BlankLine[] = " ";

bool IsText(const char* bytes, uint32_t length, const char* text) {
    const auto characters = static_cast<uint32_t>(strlen(text));
    return TextLength(bytes, length) == characters && memcmp(bytes, text, characters) == 0;
}

// Collects the kept texts. A " " line is held back until the next text shows
// whether it is the marker's companion, which goes with the marker.
struct ToolTypeWalk {
    ToolTypeBlock block;
    bool blankHeld;
    NewIconsLines* lines;
};

int32_t AppendHeldBlank(ToolTypeWalk* walk) {
    if (!walk->blankHeld) return 1;
    walk->blankHeld = false;
    return AppendToolType(&walk->block, BlankLine, 1);
}

// Remembers the first picture line of each image after the marker.
void NoteNewIconsLine(ToolTypeWalk* walk, const char* bytes, uint32_t length, uint32_t offset) {
    if (!walk->lines->marker) return;
    const uint32_t image = NewIconsLineImage(bytes, length);
    if (image == 1 && !walk->lines->normal) walk->lines->normal = offset + 1;
    if (image == 2 && !walk->lines->selected) walk->lines->selected = offset + 1;
}

int32_t AddToolType(ToolTypeWalk* walk, const char* bytes, uint32_t length) {
    if (length == 0) return 1;  // a string of no bytes adds nothing
    if (IsText(bytes, length, NewIconsMarker)) {
        walk->blankHeld = false;
        walk->lines->marker = 1;
        return 1;
    }
    if (!AppendHeldBlank(walk)) return 0;
    if (IsText(bytes, length, BlankLine)) {
        walk->blankHeld = true;
        return 1;
    }
    // The new text starts where the block's closing NUL stands now.
    const uint32_t offset = walk->block.used ? walk->block.used - 1 : 0;
    NoteNewIconsLine(walk, bytes, length, offset);
    return AppendToolType(&walk->block, bytes, length);
}

// Every round takes a length word from the file or ends the walk, so a
// count larger than the file ends with the file.
ToolTypesOutcome ReadToolTypeTexts(AmigaFile* file, AmigaReadState* state, uint32_t count, ToolTypeWalk* walk) {
    ToolTypesOutcome outcome = ToolTypesWhole;
    for (uint32_t i = 0; i < count && outcome == ToolTypesWhole; ++i) {
        uint32_t length = 0;
        if (!ReadLengthWord(file, &length) || !file->left.Holds(length)) {
            outcome = ToolTypesCutShort;
            break;
        }
        const auto* bytes = reinterpret_cast<const char*>(ReadIntoScratch(file, state, length));
        if (length && !bytes) return ToolTypesFailed;
        if (!AddToolType(walk, bytes, length)) return ToolTypesFailed;
    }
    return AppendHeldBlank(walk) ? outcome : ToolTypesFailed;
}

}  // namespace

int32_t ReadDefaultTool(AmigaFile* file, IconRecord* record) {
    uint32_t length = 0;
    if (!ReadLengthWord(file, &length) || !file->left.Holds(length)) return 0;
    // One byte more than stored, so that the text always ends with a NUL.
    auto* text = static_cast<char*>(AllocMemory(length + 1, 0, "deftool"));
    if (!text) return 0;
    record->defaultTool = text;
    if (!ReadSection(file, text, length)) return 0;
    text[length] = '\0';
    return 1;
}

ToolTypesOutcome ReadToolTypes(AmigaFile* file, IconRecord* record, AmigaReadState* state, NewIconsLines* lines) {
    uint32_t countWord = 0;
    if (!ReadLengthWord(file, &countWord)) return ToolTypesCutShort;
    // (strings + 1) x 4; a word below 8 holds no strings.
    const uint32_t count = countWord < 8 ? 0 : (countWord >> 2) - 1;
    ToolTypeWalk walk{{}, false, lines};
    const ToolTypesOutcome outcome = ReadToolTypeTexts(file, state, count, &walk);
    if (outcome == ToolTypesFailed) {
        ReleaseToolTypes(&walk.block);
        return ToolTypesFailed;
    }
    lines->blockLength = walk.block.used;
    return StoreToolTypes(record, &walk.block) ? outcome : ToolTypesFailed;
}

int32_t SkipString(AmigaFile* file) {
    uint32_t length = 0;
    return ReadLengthWord(file, &length) && SkipSection(file, length);
}

void WriteIconString(StreamHandle stream, const char* text) {
    const auto length = static_cast<uint32_t>(strlen(text)) + 1;
    uint8_t word[StringLengthBytes];
    PokeBE32(word, length);
    WriteStream(stream, word, StringLengthBytes);
    WriteStream(stream, text, static_cast<int32_t>(length));
}

uint32_t CountToolTypes(char* const* toolTypes, int32_t dropNewIcons) {
    uint32_t count = 0;
    for (char* const* entry = toolTypes; entry && *entry; ++entry)
        if (!dropNewIcons || !NewIconsLineImage(*entry, NewIconsLinePrefix)) ++count;
    return count;
}

void WriteToolTypeTexts(StreamHandle stream, char* const* toolTypes, int32_t dropNewIcons) {
    for (char* const* entry = toolTypes; entry && *entry; ++entry)
        if (!dropNewIcons || !NewIconsLineImage(*entry, NewIconsLinePrefix)) WriteIconString(stream, *entry);
}

bool HasMarkerPair(char* const* toolTypes) {
    if (!toolTypes || !toolTypes[0]) return false;
    for (char* const* entry = toolTypes + 1; *entry; ++entry)
        if (strcmp(*entry, NewIconsMarker) == 0 && strcmp(entry[-1], BlankLine) == 0) return true;
    return false;
}
