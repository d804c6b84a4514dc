// Stand-ins for the format readers and writers, so that the load and save
// dispatch and the attribute hand-over can be tested through the real
// LoadIcon and SaveIcon before (and independently of) the real formats.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pictra/plugin.h"

namespace pictra::test {

struct FormatCalls {
    std::string reader;        // which reader ran last, empty if none
    std::string fileName;      // the name it received (readers that take one)
    int32_t byteAfterMagic = -2;  // what the stream held next, -1 at the end
    std::string writer;
    int32_t formatIndex = -1;
    const IconAttributes* attributes = nullptr;
    int32_t compress = -1;
    IconImage* images = nullptr;
};

extern FormatCalls calls;
// What a fake reader does to the record and returns; default: nothing, 1.
extern std::function<int32_t(IconRecord*)> fillRecord;
// What a fake writer returns; it also writes the bytes "ok".
extern int32_t writerResult;

void resetFakeFormats();

}  // namespace pictra::test
