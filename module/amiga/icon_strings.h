// The texts of an Amiga icon: the default tool and the tool types, which
// also carry the NewIcons pictures behind a marker line.
#pragma once

#include <cstdint>

#include "amiga/icon_layout.h"
#include "amiga_form/icon_form.h"
#include "pictra/plugin.h"

// The line NewIcons pictures follow, normally directly after a line " ".
inline constexpr char NewIconsMarker[] = "*** DON'T EDIT THE FOLLOWING LINES!! ***";

// Where the NewIcons pictures of a tool-type block begin: offsets + 1 of the
// first "IM1=" and "IM2=" lines after the marker, 0 for none.
struct NewIconsLines {
    int32_t marker;     // the marker was met
    uint32_t normal;
    uint32_t selected;
    uint32_t blockLength;  // bytes of the record's tool-type block
};

// Reads the default tool into the record. A stored text whose last byte is
// not 0 keeps its bytes and gains a NUL. 0 when the length lies past the end
// of the file or memory runs out.
int32_t ReadDefaultTool(AmigaFile* file, IconRecord* record);

enum ToolTypesOutcome : int32_t {
    ToolTypesFailed = 0,    // memory or the stream failed
    ToolTypesWhole = 1,
    ToolTypesCutShort = 2,  // a length ran past the end of the file
};

// Reads the tool-type block into the record, every stored text kept (empty
// ones included); the marker and the " " line before it are left out. A
// block whose count or a length runs past the end of the file keeps the
// texts read before that point: nothing after the block can be found then.
ToolTypesOutcome ReadToolTypes(AmigaFile* file, IconRecord* record, AmigaReadState* state, NewIconsLines* lines);

// Passes over a string whose bytes are not kept. 0 when it lies past the end.
int32_t SkipString(AmigaFile* file);

// Writes `text` as a string: its length with the NUL, the bytes, the NUL.
void WriteIconString(StreamHandle stream, const char* text);

// The caller's tool types, as the writer counts and writes them: without
// NewIcons lines when `dropNewIcons` is set.
uint32_t CountToolTypes(char* const* toolTypes, int32_t dropNewIcons);
void WriteToolTypeTexts(StreamHandle stream, char* const* toolTypes, int32_t dropNewIcons);

// True when some entry after the first is the marker and the entry before it
// " ": such a list needs no second marker pair.
bool HasMarkerPair(char* const* toolTypes);
