#include "amiga_form/icon_form.h"

// The FORM ICON reader is not built yet: the Amiga reader ends successfully
// where a FORM ICON begins, with the pictures of the classic part.
int32_t ReadIconForm(StreamHandle, uint32_t, IconRecord*, AmigaReadState*) { return 1; }

// The FORM ICON writer is not built yet: such saves fail.
int32_t WriteIconForm(StreamHandle, int32_t, const IconImage*, const IconImage*, int32_t) { return 0; }
