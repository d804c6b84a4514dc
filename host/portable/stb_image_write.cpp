// stb_image_write's implementation, compiled once.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "host/portable/stb.h"
