// stb_image's implementation, compiled once.
#define STB_IMAGE_IMPLEMENTATION
#include "host/portable/stb.h"
