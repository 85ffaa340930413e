// The decoder's implementation, built from the system's single-header image
// library with its allocation routed through DecodeBudget. It is compiled
// without warnings (third-party code) and everything in it is file-local
// except the three functions at the end.
#include "XImageCodec.h"

#define STBI_MALLOC(bytes) xgfx::DecodeBudget::allocate(bytes)
#define STBI_REALLOC(block, bytes) xgfx::DecodeBudget::reallocate(block, bytes)
#define STBI_FREE(block) xgfx::DecodeBudget::release(block)
// Its assertions can fail on damaged files; a bad file must give a failed
// load, never end the program.
#define STBI_ASSERT(condition) ((void)0)
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// The failure strings are written to shared static storage; nothing here
// reads them.
#define STBI_NO_FAILURE_STRINGS
// PNG, GIF and BMP only. Fuzzing kept finding faults in the JPEG decoder (a
// Huffman table written out of bounds, tables read before the file defined
// them, bit-buffer shifts past the word size), and each check in front of it
// left the next one; it is not compiled in at all.
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace xgfx {
namespace codec {

bool info(const unsigned char *data, int size, int &width, int &height) {
    int comp = 0;
    return stbi_info_from_memory(data, size, &width, &height, &comp) != 0;
}

unsigned char *loadRgba(const unsigned char *data, int size, int &width, int &height) {
    int comp = 0;
    return stbi_load_from_memory(data, size, &width, &height, &comp, 4);
}

void freeImage(unsigned char *pixels) {
    stbi_image_free(pixels);
}

} // namespace codec
} // namespace xgfx
