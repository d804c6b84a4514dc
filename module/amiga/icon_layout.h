// The byte layout of an Amiga icon file. All integers are big-endian; the
// words called pointers only say whether a section follows (non-zero) or not.
//
//   DiskObject header      78 bytes, always
//   DrawerData record      56 bytes, when the header's drawer-data word is set
//   Image header + planes  20 bytes + depth x height x RowBytes, always
//   second Image + planes  when the Gadget's SelectRender word is set
//   default tool           string, when its word is set
//   tool types             count word (strings + 1) x 4, then the strings
//   tool window            string, when its word is set
//   DrawerData extension   6 bytes, for drawer data of a new-style icon
//   FORM ICON              optional IFF form
//
// A string is a length word that counts its closing NUL, then the bytes.
#pragma once

#include <cstdint>

#include "amiga_form/icon_form.h"
#include "frame/reader.h"
#include "pictra/plugin.h"

inline constexpr uint32_t DiskObjectBytes = 78;
inline constexpr uint32_t DrawerDataBytes = 56;
inline constexpr uint32_t ImageHeaderBytes = 20;
inline constexpr uint32_t DrawerExtensionBytes = 6;
inline constexpr uint32_t StringLengthBytes = 4;

// The DiskObject fields the system reads or writes.
struct DiskObjectFields {
    uint32_t gadgetWidth;   // the canvas of the planar pictures
    uint32_t gadgetHeight;
    uint32_t gadgetFlags;   // 4 with one picture, 6 with two (written only)
    uint32_t selectRender;  // a second picture follows
    uint32_t userData;      // 0: an old-style icon
    uint32_t type;
    uint32_t defaultTool;   // presence words
    uint32_t toolTypes;
    uint32_t currentX;
    uint32_t currentY;
    uint32_t drawerData;
    uint32_t toolWindow;
    uint32_t stackSize;
};

// The window box of DrawerData and the flags of its extension.
struct DrawerFields {
    int32_t left, top;  // window edges: signed, a window may start off the screen
    uint32_t width, height;
    uint32_t showAll;   // extension: drawer flags bit 1
    uint32_t viewMode;  // extension
};

struct ImageHeaderFields {
    uint32_t left, top, width, height, depth;
};

// Decoders of the fixed records from their bytes (the DiskObject from offset
// 0 of the file, magic included).
DiskObjectFields ParseDiskObject(const uint8_t bytes[DiskObjectBytes]);
void ParseDrawerData(const uint8_t bytes[DrawerDataBytes], DrawerFields* drawer);
void ParseDrawerExtension(const uint8_t bytes[DrawerExtensionBytes], DrawerFields* drawer);
ImageHeaderFields ParseImageHeader(const uint8_t bytes[ImageHeaderBytes]);

// Checks an Image header against the `available` bytes left in the file
// and the canvas the DiskObject gives: a known depth, planes that lie within
// the file, and a canvas no larger than any screen (no byte of the file
// backs it). Writes the bytes of the planes; 0 for a bad header.
int32_t CheckImageHeader(const ImageHeaderFields& image, const DiskObjectFields& header, uint32_t available,
                         uint32_t* planeBytes);

// Writers of the fixed records with the values the system always writes.
void WriteDiskObject(StreamHandle stream, const DiskObjectFields& fields);
void WriteDrawerData(StreamHandle stream, const DrawerFields& drawer);
void WriteDrawerExtension(StreamHandle stream, const DrawerFields& drawer);
void WriteImageHeader(StreamHandle stream, const ImageHeaderFields& header);

// A file being read: the stream and what is left of it. Every read of a
// section goes through here, so no length from the file reads past its end.
struct AmigaFile {
    StreamHandle stream;
    LengthBudget left;
};

inline int32_t ReadSection(AmigaFile* file, void* buffer, uint32_t length) {
    return TakeFromBudget(&file->left, length) && ReadExactly(file->stream, buffer, length);
}

inline int32_t SkipSection(AmigaFile* file, uint32_t length) {
    return TakeFromBudget(&file->left, length) && SkipForward(file->stream, length);
}

// Reads a length word: 0 when fewer than four bytes are left.
int32_t ReadLengthWord(AmigaFile* file, uint32_t* value);

// Reads `length` bytes of a section into the reader's scratch block and
// returns it; null when they lie past the end or memory runs out.
const uint8_t* ReadIntoScratch(AmigaFile* file, AmigaReadState* state, uint32_t length);

// Copies up to `length` of the next bytes to `bytes` without moving on;
// returns how many there were.
uint32_t PeekSection(AmigaFile* file, uint8_t* bytes, uint32_t length);
