// Feeds arbitrary bytes to the texture decoder, then resamples what decodes
// to a size taken from the input's last two bytes. Decoded images must obey
// the side limit and the premultiplied invariant (no colour above alpha).
#include "XImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Small enough that a header declaring the limit still decodes quickly.
constexpr int kFuzzMaxSide = 1024;

void checkImage(const xgfx::Image &img) {
    if (img.width <= 0 || img.height <= 0 || img.width > kFuzzMaxSide ||
        img.height > kFuzzMaxSide ||
        img.pixels.size() !=
            static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height) * 4)
        std::abort();
    for (std::size_t i = 0; i < img.pixels.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            if (img.pixels[i + c] > img.pixels[i + 3])
                std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    xgfx::Image img;
    if (!xgfx::decodeImage(data, size, kFuzzMaxSide, img))
        return 0;
    checkImage(img);
    if (size < 2)
        return 0;
    const float w = static_cast<float>(data[size - 2] % 80) - 8.0f;
    const float h = static_cast<float>(data[size - 1] % 80) - 8.0f;
    xgfx::Image resized;
    if (xgfx::resampleImage(img, w, h, kFuzzMaxSide, resized))
        checkImage(resized);
    return 0;
}
