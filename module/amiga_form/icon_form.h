// The IFF FORM ICON that colour and true-colour Amiga icons carry after
// their classic part.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// What the Amiga reader shares with the FORM reader while one icon is read.
struct AmigaReadState {
    IconImage** head;         // the record's picture list
    IconImage** tail;         // its last picture, null while empty
    void* scratch;            // grow-only scratch block (memory tag "pbuf")
    int32_t scratchCapacity;  // its size in bytes
    IconImage* primary;       // the candidate for flags value 1
};

// Reads the chunks of a FORM ICON, the stream positioned at the first chunk
// and `formEnd` bytes of FORM data left from there. Appends the pictures it
// decodes through `state` and makes the normal picture of the first IMAG and
// of the first ARGB chunk the primary candidate in turn. 1 on success.
int32_t ReadIconForm(StreamHandle stream, uint32_t formEnd, IconRecord* record, AmigaReadState* state);

// Writes the FORM ICON for "AMIGAOS35" (formatIndex 2: IMAG chunks) or
// "AMIGAOS40" (formatIndex 3: ARGB chunks) of the normal picture and its
// selected partner (may be null). 1 on success.
int32_t WriteIconForm(StreamHandle stream, int32_t formatIndex, const IconImage* normal,
                      const IconImage* selected, int32_t compress);
