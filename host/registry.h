// The formats a module registered with the host, in registration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::host {

struct RegisteredFormat {
    std::string description;
    std::string extension;
    uint32_t formatId = 0;
    // The rest of the call as the module made it, kept so that a host can
    // check it: the info block, the kind, the reserved pointer and the flags.
    const PluginInfo* info = nullptr;
    uint32_t kind = 0;
    const void* reserved = nullptr;
    uint32_t flags = 0;
};

// A registration with a FormatId already present replaces that entry in place.
std::vector<RegisteredFormat> registeredFormats();
std::size_t registrationCalls();  // every RegisterFormat call so far
void clearRegisteredFormats();    // also zeroes the call count

// The RegisterFormat service: records every argument. Returns 1.
int32_t registerFormat(PluginInfo* info, uint32_t kind, const char* description,
                       const void* reserved, const char* extension, uint32_t formatId,
                       uint32_t flags);

}  // namespace pictra::host
