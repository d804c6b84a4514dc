// WriteAmigaIcon: the classic part of an Amiga icon, with NewIcons lines or
// a FORM ICON after it.
#include "model/format_io.h"

// Not built yet: every such save fails.
int32_t WriteAmigaIcon(StreamHandle, int32_t, IconImage*, const IconAttributes*, int32_t) { return 0; }
