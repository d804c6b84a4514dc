// Bridges between pictures and the host's image codecs.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Writes a 32-bit picture to `stream` as one complete PNG file. 1 on success,
// 0 when the host could not encode it. The stream writes are not checked.
int32_t WritePngImage(StreamHandle stream, const IconImage* image);

// Decodes an image file held in memory (`extension` "png" or "bin" tells the
// host what it is) into a new 32-bit picture appended to *head / *tail.
int32_t DecodeImageBlock(const void* data, uint32_t size, const char* extension, IconImage** head,
                         IconImage** tail);
