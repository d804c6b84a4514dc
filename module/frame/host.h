// Access to the host's services. The module keeps the HostServices pointer
// that InitPlugin received; every service call goes through these wrappers,
// so no other file reaches into the tables.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

// Null until InitPlugin receives services; written only there.
extern HostServices* Host;

inline void* AllocMemory(uint32_t size, uint32_t clear, const char* tag) {
    return Host->system->AllocMemory(size, clear, tag);
}
inline void FreeMemory(void* block) { Host->system->FreeMemory(block); }
inline int32_t RegisterFormat(PluginInfo* info, const char* description, const char* extension,
                              uint32_t formatId) {
    return Host->system->RegisterFormat(info, 4, description, nullptr, extension, formatId, 3);
}

inline StreamHandle OpenStream(const char* name, int32_t mode) {
    return Host->stream->OpenStream(name, mode);
}
inline StreamHandle OpenStreamTagged(const char* name, int32_t mode, const TagItem* tags) {
    return Host->stream->OpenStreamTagged(name, mode, tags);
}
inline void CloseStream(StreamHandle stream) { Host->stream->CloseStream(stream); }
inline int32_t SeekStream(StreamHandle stream, int32_t offset, int32_t mode) {
    return Host->stream->SeekStream(stream, offset, mode);
}
inline int32_t ReadStream(StreamHandle stream, void* buffer, int32_t length) {
    return Host->stream->ReadStream(stream, buffer, length);
}
inline void WriteStream(StreamHandle stream, const void* buffer, int32_t length) {
    Host->stream->WriteStream(stream, buffer, length);
}
inline int32_t ReadStreamByte(StreamHandle stream) { return Host->stream->ReadStreamByte(stream); }
inline void WriteStreamByte(StreamHandle stream, int32_t value) {
    Host->stream->WriteStreamByte(stream, value);
}
inline int32_t StreamAtEnd(StreamHandle stream) { return Host->stream->StreamAtEnd(stream); }
inline int32_t NameMemoryBlock(char* name, const MemoryBlockDesc* desc) {
    return Host->stream->NameMemoryBlock(name, MemoryNameLength, desc, 0);
}
inline StreamHandle OpenMemoryOutput(char* name) {
    return Host->stream->OpenMemoryOutput(name, MemoryNameLength, 0);
}
inline const void* MemoryOutputBytes(StreamHandle stream, uint32_t* size) {
    return Host->stream->MemoryOutputBytes(stream, size, 0);
}
inline void CloseMemoryOutput(StreamHandle stream) { Host->stream->CloseMemoryOutput(stream); }

inline HostImageHandle DecodeImageFile(const char* name, const TagItem* tags, int32_t* width,
                                       int32_t* height) {
    return Host->image->DecodeImageFile(name, tags, width, height, 0);
}
inline const uint32_t* ImagePixels(HostImageHandle image) { return Host->image->ImagePixels(image); }
inline void ReleaseImage(HostImageHandle image) { Host->image->ReleaseImage(image); }
inline int32_t EncodePngFile(const char* name, const uint32_t* pixels, int32_t width,
                             int32_t height) {
    return Host->image->EncodePngFile(name, pixels, width, height, 1, 0, 0);
}
inline int32_t ConvertPixels(const void* source, uint8_t* destination, const ConvertJob* job,
                             int32_t mode) {
    return Host->image->ConvertPixels(source, destination, job, mode, 0);
}

inline int32_t CompressBlock(void* destination, uint32_t* length, const void* source,
                             uint32_t sourceLength) {
    return Host->compression->CompressBlock(destination, length, source, sourceLength);
}
inline int32_t UncompressBlock(void* destination, uint32_t* length, const void* source,
                               uint32_t sourceLength) {
    return Host->compression->UncompressBlock(destination, length, source, sourceLength);
}
inline uint32_t Crc32Block(const void* buffer, uint32_t length) {
    return Host->checksum->Crc32Block(buffer, length);
}
