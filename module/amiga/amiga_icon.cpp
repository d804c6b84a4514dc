// Amiga icons: reader and writer.
#include "model/format_io.h"

// The Amiga icon reader is not built yet: every such file is refused.
int32_t ReadAmigaIcon(StreamHandle, const char*, IconRecord*) { return 0; }

// The Amiga icon writer is not built yet: every such save fails.
int32_t WriteAmigaIcon(StreamHandle, int32_t, IconImage*, const IconAttributes*, int32_t) { return 0; }
