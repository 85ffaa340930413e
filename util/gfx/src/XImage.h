// Image decoding for the texture loader, kept free of GL so that it can be
// exercised on its own. Everything here works on in-memory bytes and
// returns false on any failure. Every allocation is bounded by the caller's
// side limit and the decoder by a budget taken from the header; a header that
// claims more than the file's bytes can code (a PNG or BMP) is refused
// before the decoder runs. When memory runs short the std::vector storage
// throws std::bad_alloc, which the loader catches.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace xgfx {

// 8-bit RGBA with premultiplied alpha, rows bottom first (the order in
// which GL's t = 0 edge comes first), width * 4 bytes per row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

// The largest side the loader accepts whatever the GL implementation
// allows: 8192 x 8192 RGBA is 256 MiB, already more than a texture should be.
constexpr int kMaxImageSide = 8192;
// Files above this are refused before being read in full.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

// What the decoder may hold at once for an image whose header promises width x
// height pixels, read from a file of fileBytes: kDecodeFactor times its RGBA
// size with each side rounded up to a multiple of 32 pixels, twice the file (a
// PNG's gathered data stream), and kDecodeAllowance for the decoder's own
// tables. The hungriest real images, 16-bit interlaced RGBA PNGs, need seven
// times their RGBA size; a damaged stream that asks for more fails.
constexpr std::size_t kDecodeFactor = 10;
constexpr std::size_t kDecodeAllowance = std::size_t{1} << 20;
std::size_t decodeBudget(int width, int height, std::size_t fileBytes);

// Reads a whole regular file of at most maxBytes.
bool readFile(const std::string &path, std::vector<unsigned char> &bytes,
              std::size_t maxBytes = kMaxFileBytes);

// Decodes a PNG, GIF (its first frame) or BMP image of at most maxSide pixels a
// side into out, premultiplied and bottom row first. Other formats, truncated
// or corrupt data, a header claiming more pixels than the file can code,
// oversized images and data that would take the decoder past its budget give
// false.
bool decodeImage(const unsigned char *data, std::size_t size, int maxSide, Image &out);

// Resamples a decoded image to width x height (rounded to whole pixels).
// Sizes that are not finite, round below 1 or exceed maxSide give false.
bool resampleImage(const Image &in, float width, float height, int maxSide, Image &out);

} // namespace xgfx
