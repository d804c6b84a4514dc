// The formats a module registered with the host, in registration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictra::host {

struct RegisteredFormat {
    std::string description;
    std::string extension;
    uint32_t formatId = 0;
};

// A registration with a FormatId already present replaces that entry in place.
std::vector<RegisteredFormat> registeredFormats();
std::size_t registrationCalls();  // every RegisterFormat call so far
void clearRegisteredFormats();    // also zeroes the call count

}  // namespace pictra::host
