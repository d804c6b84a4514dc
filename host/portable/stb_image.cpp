// stb_image's implementation, compiled once.
#define STB_IMAGE_IMPLEMENTATION
#include "host/portable/stb.h"

// stbi_zlib_decode_buffer that also tells how many input bytes the stream
// took, so that its trailer can be found before any bytes that follow it.
// The bits stb has fetched but not used are given back, whole bytes only:
// the rest of the last byte is the final block's padding.
int pictraZlibDecodeMeasured(char* out, int room, const char* in, int length, int* consumed) {
    stbi__zbuf z;
    z.zbuffer = reinterpret_cast<stbi_uc*>(const_cast<char*>(in));
    z.zbuffer_end = z.zbuffer + length;
    if (!stbi__do_zlib(&z, out, room, 0, 1)) return -1;
    *consumed = static_cast<int>(reinterpret_cast<const char*>(z.zbuffer) - in) - z.num_bits / 8;
    return static_cast<int>(z.zout - z.zout_start);
}
