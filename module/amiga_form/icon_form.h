// The IFF FORM ICON that colour and true-colour Amiga icons carry after
// their classic part: a FACE chunk with the picture size, then IMAG chunks
// (palette pictures of up to 8 bits) or ARGB chunks (compressed 32-bit
// pictures), the first of each kind the normal picture, later ones selected.
#pragma once

#include <cstdint>

#include "frame/scratch.h"
#include "model/icon_image.h"
#include "pictra/plugin.h"

// What the Amiga reader shares with the FORM reader while one icon is read.
struct AmigaReadState {
    IconImage** head;         // the record's picture list
    IconImage** tail;         // its last picture, null while empty
    Scratch scratch;          // grow-only, for section and chunk data
    IconImage* primary;       // the candidate for flags value 1
    PictureBudget* budget;    // what the load's pictures may still take (icon_image.h)
};

// Reads a FORM ICON at the stream position, where `available` bytes are
// left; its size is cut to them. Bytes that are not "FORM", or a form cut
// off inside its own header, hold no form: 1, nothing read. Appends the
// pictures it decodes through `state`, growing state->scratch as needed,
// and makes the normal picture of the first IMAG and then of the first ARGB
// chunk the primary candidate. 1 on success.
int32_t ReadIconForm(StreamHandle stream, uint32_t available, AmigaReadState* state);

// A whole FORM ICON built in memory, so that a save can fail before the
// first byte of the file is written.
struct IconFormBytes {
    uint8_t* data;  // memory tag "rlebuf"; null when empty
    uint32_t size;
};

// Builds the FORM ICON for "AMIGAOS35" (formatIndex 2: IMAG chunks of
// palette pictures, run-length packed when `compress` is set) or "AMIGAOS40"
// (formatIndex 3: ARGB chunks of 32-bit pictures) from the normal picture
// and its selected partner (may be null; left out when its size or kind does
// not match the normal picture). The normal picture must be 1 to 256 pixels
// each way. 1 on success; on failure *form is empty.
int32_t BuildIconForm(IconFormBytes* form, int32_t formatIndex, const IconImage* normal,
                      const IconImage* selected, int32_t compress);

// Releases what BuildIconForm made and leaves *form empty.
void ReleaseIconForm(IconFormBytes* form);

// Appends a built FORM to the stream (the Amiga writer, after its classic part).
void WriteIconFormBytes(StreamHandle stream, const IconFormBytes* form);
