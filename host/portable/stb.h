// The stb headers as this host configures them: PNG only, no stdio, and the
// two stb_image_write routines that work in memory (defined in its
// implementation section, so declared here).
#pragma once

#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
// A second guard behind the caller's caps, which are checked first.
#define STBI_MAX_DIMENSIONS (1 << 16)
#define STBI_WRITE_NO_STDIO

#include <stb_image.h>
#include <stb_image_write.h>

extern "C" {
unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes, int x, int y,
                                     int n, int* out_len);
unsigned char* stbi_zlib_compress(unsigned char* data, int data_len, int* out_len, int quality);
}
// stb_image.cpp: inflates a zlib stream into `out` and sets `consumed` to
// the bytes up to the end of its last deflate block; -1 on failure.
int pictraZlibDecodeMeasured(char* out, int room, const char* in, int length, int* consumed);
