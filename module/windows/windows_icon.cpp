// Windows icons: reader and writer.
#include "model/format_io.h"

// The Windows icon reader is not built yet: every such file is refused.
int32_t ReadWindowsIcon(StreamHandle, IconRecord*) { return 0; }

// The Windows icon writer is not built yet: every such save fails.
int32_t WriteWindowsIcon(StreamHandle, IconImage*, int32_t) { return 0; }
