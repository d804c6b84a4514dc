#include "frame/host.h"

HostServices* Host = nullptr;
