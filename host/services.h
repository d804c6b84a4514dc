// The host service tables handed to the module's InitPlugin.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

namespace pictra::host {

inline constexpr uint32_t kHostVersion = 9;

// Services with every table filled. The tables are static; the returned
// record may be copied and its hostVersion changed (tests do).
HostServices makeHostServices(uint32_t hostVersion = kHostVersion);

}  // namespace pictra::host
