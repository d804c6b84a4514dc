// Bridges between pictures and the host's image codecs.
#pragma once

#include <cstdint>

#include "model/icon_image.h"
#include "pictra/plugin.h"

// Encodes a 32-bit picture as one complete PNG file in a host memory output.
// Returns the output (close it with CloseMemoryOutput when done with the
// bytes) with *bytes and *size set, or null when the host could not encode it.
StreamHandle EncodePngImage(const IconImage* image, const void** bytes, uint32_t* size);

// Writes a 32-bit picture to `stream` as one complete PNG file. 1 on success,
// 0 when the host could not encode it. The stream writes are not checked.
int32_t WritePngImage(StreamHandle stream, const IconImage* image);

// Decodes an image file held in memory (`extension` "png" or "bin" tells the
// host what it is) into a new 32-bit picture appended to *head / *tail.
// PictureLeftOut when the host cannot decode the data (nothing is linked),
// PictureFailed when memory for the picture runs out. The picture is charged
// to `budget`: once it is spent nothing is decoded, and a picture that does
// not fit is left out (AllocIconImage); a decode that fails is charged the
// pixels a PNG's header declares, or the largest picture for other data.
PictureOutcome DecodeImageBlock(PictureBudget* budget, const void* data, uint32_t size, const char* extension, IconImage** head,
                                IconImage** tail);

// Decodes the image file `name` (a file, or a named memory block when the
// tags say so) into a new 32-bit picture appended to *head / *tail. Returns
// the picture, or null when the host cannot decode it or memory runs out
// (a picture node already linked stays for the list's owner to release),
// or when `budget` is spent or the picture does not fit in it.
IconImage* DecodeImageToPicture(PictureBudget* budget, const char* name, const TagItem* tags, IconImage** head, IconImage** tail);
