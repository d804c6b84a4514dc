#include "macos/icns_types.h"

#include "frame/bytes.h"

namespace {
constexpr int32_t Yes = 1;
constexpr int32_t No = 0;
}  // namespace

const IcnsTypeRow IcnsTypeTable[IcnsTypeCount] = {
    // code              width height depth mask  kind                written
    {IcnsCode("ics#"), 16, 16, 1, Yes, IcnsTwoPlanes, Yes},
    {IcnsCode("ics4"), 16, 16, 4, No, IcnsPens4, No},
    {IcnsCode("ics8"), 16, 16, 8, No, IcnsPens8, Yes},
    {IcnsCode("is32"), 16, 16, 24, No, IcnsPackedChannels, Yes},
    {IcnsCode("icp4"), 16, 16, 32, No, IcnsImageOrPacked, No},
    {IcnsCode("s8mk"), 16, 16, 8, Yes, IcnsAlpha8, Yes},
    {IcnsCode("ICN#"), 32, 32, 1, Yes, IcnsTwoPlanes, Yes},
    {IcnsCode("icl4"), 32, 32, 4, No, IcnsPens4, No},
    {IcnsCode("icl8"), 32, 32, 8, No, IcnsPens8, Yes},
    {IcnsCode("il32"), 32, 32, 24, No, IcnsPackedChannels, Yes},
    {IcnsCode("icp5"), 32, 32, 32, No, IcnsImageOrPacked, No},
    {IcnsCode("l8mk"), 32, 32, 8, Yes, IcnsAlpha8, Yes},
    {IcnsCode("ich#"), 48, 48, 1, Yes, IcnsTwoPlanes, Yes},
    {IcnsCode("ich4"), 48, 48, 4, No, IcnsPens4, No},
    {IcnsCode("ich8"), 48, 48, 8, No, IcnsPens8, Yes},
    {IcnsCode("ih32"), 48, 48, 24, No, IcnsPackedChannels, Yes},
    {IcnsCode("h8mk"), 48, 48, 8, Yes, IcnsAlpha8, Yes},
    {IcnsCode("icp6"), 64, 64, 32, No, IcnsImageFile, Yes},
    {IcnsCode("it32"), 128, 128, 24, No, IcnsPackedChannels, Yes},
    {IcnsCode("ic07"), 128, 128, 32, No, IcnsImageFile, No},
    {IcnsCode("t8mk"), 128, 128, 8, Yes, IcnsAlpha8, Yes},
    {IcnsCode("ic08"), 256, 256, 32, No, IcnsImageFile, Yes},
    {IcnsCode("ic09"), 512, 512, 32, No, IcnsImageFile, Yes},
    {IcnsCode("ic10"), 1024, 1024, 32, No, IcnsImageFile, Yes},
    // Double density: 32, 64, 256 and 512 points drawn with twice the pixels.
    {IcnsCode("ic11"), 32, 32, 32, No, IcnsImageFile, No},
    {IcnsCode("ic12"), 64, 64, 32, No, IcnsImageFile, No},
    {IcnsCode("ic13"), 256, 256, 32, No, IcnsImageFile, No},
    {IcnsCode("ic14"), 512, 512, 32, No, IcnsImageFile, No},
    // True colour with alpha, as an image file or as "ARGB" channels.
    {IcnsCode("ic04"), 16, 16, 32, No, IcnsImageOrArgb, No},
    {IcnsCode("ic05"), 32, 32, 32, No, IcnsImageOrArgb, No},
    // Sidebar pictures.
    {IcnsCode("icsb"), 18, 18, 32, No, IcnsImageOrArgb, No},
    {IcnsCode("sb24"), 24, 24, 32, No, IcnsImageOrArgb, No},
    {IcnsCode("icsB"), 36, 36, 32, No, IcnsImageOrArgb, No},
    {IcnsCode("SB24"), 48, 48, 32, No, IcnsImageOrArgb, No},
    // Mini icons, 16 x 12. The pens are never written, so the "#" type is
    // written only from a 1-bit picture.
    {IcnsCode("icm#"), 16, 12, 1, Yes, IcnsTwoPlanes, Yes},
    {IcnsCode("icm4"), 16, 12, 4, No, IcnsPens4, No},
    {IcnsCode("icm8"), 16, 12, 8, No, IcnsPens8, No},
};

int32_t FindIcnsType(uint32_t typeCode) {
    for (int32_t row = 0; row < IcnsTypeCount; ++row)
        if (IcnsTypeTable[row].typeCode == typeCode) return row;
    return -1;
}

uint32_t IcnsMaskBytes(const IcnsTypeRow& row) {
    // At most 128 * 128 * 8 / 8: the table's sizes cannot overflow.
    return static_cast<uint32_t>(row.rowWidth * row.rowHeight * row.dataDepth / 8);
}

int32_t IsIcnsMaskPartner(const IcnsTypeRow& maskRow, const IcnsTypeRow& imageRow) {
    if (!maskRow.isMask || imageRow.isMask) return 0;
    if (maskRow.rowWidth != imageRow.rowWidth || maskRow.rowHeight != imageRow.rowHeight) return 0;
    if (maskRow.kind == IcnsTwoPlanes)
        return imageRow.kind == IcnsPens8 || imageRow.kind == IcnsPens4;
    return imageRow.kind == IcnsPackedChannels;
}

int32_t IcnsPictureDepth(const IcnsTypeRow& row) {
    return row.kind == IcnsTwoPlanes || row.kind == IcnsPens8 ? 8 : 32;
}

int32_t CheckIcnsElementHeader(const uint8_t* header, uint32_t bytesLeft, uint32_t* typeCode, uint32_t* dataLength) {
    uint32_t length = 0;
    if (bytesLeft < IcnsElementHeaderBytes) return 0;
    PeekBE32(header, IcnsElementHeaderBytes, 0, typeCode);
    PeekBE32(header, IcnsElementHeaderBytes, 4, &length);
    if (length < IcnsElementHeaderBytes || length - IcnsElementHeaderBytes > bytesLeft - IcnsElementHeaderBytes)
        return 0;
    *dataLength = length - IcnsElementHeaderBytes;
    return 1;
}
