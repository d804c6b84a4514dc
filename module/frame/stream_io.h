// Integers of both byte orders on host streams, one host call per byte.
// The readers cannot see the end of a stream: a byte read past it counts as
// 0, so callers that must stop there ask StreamAtEnd or check sizes first.
#pragma once

#include <cstdint>

#include "pictra/plugin.h"

uint32_t ReadBE32(StreamHandle stream);
uint32_t ReadBE16(StreamHandle stream);
uint32_t ReadLE16(StreamHandle stream);
uint32_t ReadLE32(StreamHandle stream);

void WriteBE32(StreamHandle stream, uint32_t value);
void WriteBE16(StreamHandle stream, uint32_t value);
void WriteLE16(StreamHandle stream, uint32_t value);
void WriteLE32(StreamHandle stream, uint32_t value);
