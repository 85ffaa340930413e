// PNG files written from scratch for the image tests: 16-bit RGB or RGBA,
// plain or interlaced, compressed with the image writer's deflate.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// Part of the image writer's library, not declared by its header.
extern "C" unsigned char *stbi_zlib_compress(unsigned char *data, int length, int *outLength,
                                             int quality);

namespace testpng {

inline std::uint32_t crc32(const std::string &s, std::size_t from) {
    std::uint32_t c = 0xffffffffu;
    for (std::size_t i = from; i < s.size(); ++i) {
        c ^= static_cast<unsigned char>(s[i]);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
    }
    return ~c;
}

inline void put32(std::string &s, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<char>((v >> shift) & 0xff));
}

inline void chunk(std::string &png, const char *type, const std::string &data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png += type;
    png += data;
    put32(png, crc32(png, start));
}

// sample(x, y, channel) gives each 16-bit sample of a w x h image.
template <class Sample>
std::string png16(int w, int h, int channels, bool interlaced, Sample sample) {
    // Adam7 passes: first column, first row, column step, row step.
    static const int adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const int whole[1][4] = {{0, 0, 1, 1}};
    std::vector<unsigned char> raw;
    for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
        const int *pass = interlaced ? adam7[p] : whole[0];
        if (pass[0] >= w)
            continue;
        for (int y = pass[1]; y < h; y += pass[3]) {
            raw.push_back(0); // no filter
            for (int x = pass[0]; x < w; x += pass[2])
                for (int c = 0; c < channels; ++c) {
                    const unsigned v = sample(x, y, c);
                    raw.push_back(static_cast<unsigned char>(v >> 8));
                    raw.push_back(static_cast<unsigned char>(v & 0xff));
                }
        }
    }
    int length = 0;
    unsigned char *z = stbi_zlib_compress(raw.data(), static_cast<int>(raw.size()), &length, 8);
    std::string png("\x89PNG\r\n\x1a\n", 8), header;
    put32(header, static_cast<std::uint32_t>(w));
    put32(header, static_cast<std::uint32_t>(h));
    header += static_cast<char>(16);                    // bits per sample
    header += static_cast<char>(channels == 4 ? 6 : 2); // RGBA or RGB
    header += std::string(2, '\0');                     // deflate, adaptive filters
    header += static_cast<char>(interlaced ? 1 : 0);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", std::string(reinterpret_cast<char *>(z), static_cast<std::size_t>(length)));
    std::free(z);
    chunk(png, "IEND", "");
    return png;
}

} // namespace testpng
