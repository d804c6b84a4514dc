// Opening an icon file through the host.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Hosts newer than version 5 take an open parameter through the tagged open;
// without a parameter, or with an older host, the plain open serves.
StreamHandle OpenIconStream(const char* name, int32_t mode, uintptr_t openParameter);
