// PNG icons: reader and writer.
#include "model/format_io.h"

// The PNG icon reader is not built yet: every such file is refused.
int32_t ReadPngIcon(StreamHandle, const char*, IconRecord*) { return 0; }

// The PNG icon writer is not built yet: every such save fails.
int32_t WritePngIcon(StreamHandle, IconImage*, const IconAttributes*) { return 0; }
