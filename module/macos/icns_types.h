// The element types of macOS icon files.
//
// A file is the magic "icns", a big-endian u32 total length, then elements:
// a four-character type code, a u32 length that counts the 8 header bytes,
// and the data. Each type names one picture size and one kind of data.
#pragma once

#include <cstdint>

constexpr uint32_t IcnsHeaderBytes = 8;   // magic, total length
constexpr uint32_t IcnsElementHeaderBytes = 8;  // type code, length

// Checks an element header (its IcnsElementHeaderBytes bytes) against the
// `bytesLeft` from its start. The length must cover the header and fit in
// what the file holds: a shorter one would walk backwards or stand still, a
// longer one claims bytes that are not there. Writes the type code and the
// data length; 0 for a bad header.
int32_t CheckIcnsElementHeader(const uint8_t* header, uint32_t bytesLeft, uint32_t* typeCode, uint32_t* dataLength);

enum IcnsDataKind : int32_t {
    IcnsTwoPlanes,      // 1-bit icon plane then 1-bit mask plane ("#" types)
    IcnsPens4,          // two 4-bit pens per byte, high nibble first
    IcnsPens8,          // one 8-bit pen per byte
    IcnsPackedChannels, // red, green, blue channels, each run-length packed
    IcnsAlpha8,         // one alpha byte per pixel ("8mk" types)
    IcnsImageFile,      // a whole PNG or JPEG 2000 file
    IcnsImageOrPacked,  // an image file, or packed channels when it is none
    IcnsImageOrArgb,    // an image file, or "ARGB" and four packed channels
};

struct IcnsTypeRow {
    uint32_t typeCode;  // four ASCII characters as a big-endian word
    int32_t rowWidth;
    int32_t rowHeight;
    int32_t dataDepth;  // bits per pixel of the data: 1, 4, 8, 24 or 32
    int32_t isMask;
    int32_t kind;       // IcnsDataKind
    int32_t written;    // 1 when the writer stores pictures as this type
};

constexpr uint32_t IcnsCode(const char (&code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

// Rows in the order the writer stores them. After the types of the classic
// sizes come the double-density image files, the true-colour types with
// their own alpha, the sidebar types and the 16 x 12 mini icons; of these
// only the mini icons' "#" type is ever written.
constexpr int32_t IcnsTypeCount = 37;
extern const IcnsTypeRow IcnsTypeTable[IcnsTypeCount];

// The row of `typeCode`, or -1 when the type is not one of the table's.
int32_t FindIcnsType(uint32_t typeCode);

// Bytes of one mask of a mask row: one plane of a "#" type, the alpha
// bytes of an "8mk" type.
uint32_t IcnsMaskBytes(const IcnsTypeRow& row);

// 1 when pictures read from `imageRow` take the masks of `maskRow`: the
// "#" masks go to the 8- and 4-bit pens of their size, the "8mk" alpha only
// to the picture of the packed element of its size.
int32_t IsIcnsMaskPartner(const IcnsTypeRow& maskRow, const IcnsTypeRow& imageRow);

// The depth a picture must have to be written as `row`: 8 for the "#" and
// 8-bit pen types, 32 for all others.
int32_t IcnsPictureDepth(const IcnsTypeRow& row);
