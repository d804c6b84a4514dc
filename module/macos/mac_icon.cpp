// macOS icons: reader and writer.
#include "model/format_io.h"

// The macOS icon reader is not built yet: every such file is refused.
int32_t ReadMacIcon(StreamHandle, const char*, IconRecord*) { return 0; }

// The macOS icon writer is not built yet: every such save fails.
int32_t WriteMacIcon(StreamHandle, IconImage*) { return 0; }
