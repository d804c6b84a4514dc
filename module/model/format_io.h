// The readers and writers of the icon formats.
//
// A reader receives the open stream, positioned just after the four bytes
// LoadIcon recognised, and a zero-filled record (the PNG reader, whose host
// decodes the picture from the file, also its name); it fills the record's
// pictures and attributes, releases its own temporary blocks, and returns
// non-zero on success. On failure it leaves what it linked into the record,
// which LoadIcon then releases. It never closes the stream.
//
// A writer receives the stream of a new file at its start, writes the whole
// file and returns 1 on success, 0 on failure. It never closes the stream and
// changes nothing in the caller's pictures but their `mark` words.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

struct PictureBudget;

// Every picture a reader makes is charged to `budget`: once a picture does
// not fit, the reader decodes nothing more and succeeds with the pictures
// before it (see PictureBudget).
int32_t ReadAmigaIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget);
int32_t ReadPngIcon(StreamHandle stream, const char* fileName, IconRecord* record, PictureBudget* budget);
int32_t ReadWindowsIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget);
int32_t ReadMacIcon(StreamHandle stream, IconRecord* record, PictureBudget* budget);

// `formatIndex` is one of the four Amiga formats (0-3).
int32_t WriteAmigaIcon(StreamHandle stream, int32_t formatIndex, IconImage* images,
                       const IconAttributes* attributes, int32_t compress);
int32_t WritePngIcon(StreamHandle stream, IconImage* images, const IconAttributes* attributes);
int32_t WriteWindowsIcon(StreamHandle stream, IconImage* images, int32_t compress);
int32_t WriteMacIcon(StreamHandle stream, IconImage* images);
