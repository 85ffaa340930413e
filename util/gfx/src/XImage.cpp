// Decoding, premultiplication, resampling and row order for textures.
#include "XImage.h"
#include "XImageCodec.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace xgfx {
namespace {

// Only formats with an unambiguous signature are accepted: the decoder's
// other formats (TGA in particular) would take arbitrary bytes for an image.
// JPEG is not among them: its decoder is left out of the build (see
// XImageCodec.cpp), so a JPEG file is refused here like any other.
bool hasKnownSignature(const unsigned char *d, std::size_t n) {
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n >= sizeof png && std::memcmp(d, png, sizeof png) == 0)
        return true;
    if (n >= 4 && std::memcmp(d, "GIF8", 4) == 0)
        return true;
    return n >= 2 && d[0] == 'B' && d[1] == 'M';
}

// Colour times alpha, rounded to nearest, as a premultiplying bitmap
// context stores it.
void premultiply(std::vector<unsigned char> &rgba) {
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const unsigned a = rgba[i + 3];
        for (std::size_t c = 0; c < 3; ++c)
            rgba[i + c] = static_cast<unsigned char>((rgba[i + c] * a + 127u) / 255u);
    }
}

void flipRows(Image &img) {
    const std::size_t row = static_cast<std::size_t>(img.width) * 4;
    unsigned char *p = img.pixels.data();
    for (int top = 0, bottom = img.height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(p + row * static_cast<std::size_t>(top),
                         p + row * static_cast<std::size_t>(top + 1),
                         p + row * static_cast<std::size_t>(bottom));
}

struct CodecFree {
    void operator()(unsigned char *p) const { codec::freeImage(p); }
};

// Reading a header needs only the decoder's fixed tables.
constexpr std::size_t kHeaderBudget = std::size_t{256} << 10;

// Each block the decoder gets is preceded by its payload size, in a header
// that keeps the payload aligned as malloc's would be.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);
static_assert(kBlockHeader >= sizeof(std::size_t), "block header too small");

thread_local DecodeBudget *currentBudget = nullptr;

std::size_t &sizeOf(void *base) {
    return *static_cast<std::size_t *>(base);
}
void *baseOf(void *block) {
    return static_cast<unsigned char *>(block) - kBlockHeader;
}
void *blockOf(void *base) {
    return static_cast<unsigned char *>(base) + kBlockHeader;
}

std::size_t saturatingMul(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    return __builtin_mul_overflow(a, b, &r) ? std::numeric_limits<std::size_t>::max() : r;
}
std::size_t saturatingAdd(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    return __builtin_add_overflow(a, b, &r) ? std::numeric_limits<std::size_t>::max() : r;
}

std::size_t le16(const unsigned char *d) {
    return static_cast<std::size_t>(d[0]) | static_cast<std::size_t>(d[1]) << 8;
}

// The fewest bytes a file must hold to code a w x h image, by what its format
// codes in one byte at best, or 0 where that is unbounded (a GIF's canvas may
// be far larger than its frames). A header claiming more than the file can
// hold belongs to a damaged or truncated file, and decoding it would only
// spend the memory the claim buys.
std::size_t leastFileBytes(const unsigned char *d, std::size_t n, int width, int height) {
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    if (n >= 26 && d[0] == 0x89) {
        // PNG: the rows' bits, filter bytes aside, inflated from the data
        // stream. Deflate gives at most 258 bytes for one length and one
        // distance code of a bit each, 1032 bytes for a byte of stream.
        static const std::size_t channels[7] = {1, 1, 3, 1, 2, 1, 4}; // by colour type
        const std::size_t perPixel =
            (d[25] < 7 ? channels[d[25]] : 1) * std::max(std::size_t{d[24]}, std::size_t{1});
        return saturatingMul(w, saturatingMul(h, perPixel)) / 8 / 1032;
    }
    if (n >= 30 && d[0] == 'B') {
        // BMP: uncompressed rows, each padded to whole 32-bit words, from
        // the offset its header gives.
        const std::size_t bpp = std::max(le16(d + (le16(d + 14) == 12 ? 24 : 28)), std::size_t{1});
        const std::size_t offset = le16(d + 10) | le16(d + 12) << 16;
        return saturatingAdd(offset,
                             saturatingMul(saturatingAdd(saturatingMul(w, bpp), 31) / 32 * 4, h));
    }
    return 0;
}

} // namespace

DecodeBudget::DecodeBudget(std::size_t limit) : limit_(limit), outer_(currentBudget) {
    currentBudget = this;
}

DecodeBudget::~DecodeBudget() {
    currentBudget = outer_;
}

// Replaces freed bytes by taken ones, unless that would exceed the limit.
bool DecodeBudget::charge(std::size_t freed, std::size_t taken) {
    const std::size_t kept = live_ - std::min(freed, live_);
    if (taken > limit_ || kept > limit_ - taken)
        return false;
    live_ = kept + taken;
    return true;
}

void *DecodeBudget::allocate(std::size_t bytes) {
    return reallocate(nullptr, bytes);
}

void *DecodeBudget::reallocate(void *block, std::size_t bytes) {
    DecodeBudget *budget = currentBudget;
    if (!budget || bytes > std::numeric_limits<std::size_t>::max() - kBlockHeader)
        return nullptr;
    const std::size_t old = block ? sizeOf(baseOf(block)) : 0;
    const std::size_t before = budget->live_;
    if (!budget->charge(old, bytes))
        return nullptr;
    // New bytes come from calloc: never leftover heap contents, and never
    // touched here. A large block is fresh zero pages that become resident
    // only as the decoder writes them, so a header's claim costs address
    // space, not memory. Growing copies what the block held.
    void *base = nullptr;
    if (!block || bytes > old) {
        base = std::calloc(1, kBlockHeader + bytes);
        if (base && block) {
            std::memcpy(blockOf(base), block, old);
            std::free(baseOf(block));
        }
    } else {
        base = std::realloc(baseOf(block), kBlockHeader + bytes);
    }
    if (!base) {
        budget->live_ = before; // the old block stays as it was
        return nullptr;
    }
    sizeOf(base) = bytes;
    budget->peak_ = std::max(budget->peak_, budget->live_);
    return blockOf(base);
}

void DecodeBudget::release(void *block) {
    if (!block)
        return;
    void *base = baseOf(block);
    if (DecodeBudget *budget = currentBudget)
        budget->live_ -= std::min(sizeOf(base), budget->live_);
    std::free(base);
}

std::size_t decodeBudget(int width, int height, std::size_t fileBytes) {
    const auto block = [](int side) {
        return (static_cast<std::size_t>(std::max(side, 0)) + 31) / 32 * 32;
    };
    const std::size_t rgba = saturatingMul(saturatingMul(block(width), block(height)), 4);
    return saturatingAdd(
        saturatingAdd(saturatingMul(rgba, kDecodeFactor), saturatingMul(fileBytes, 2)),
        kDecodeAllowance);
}

bool readFile(const std::string &path, std::vector<unsigned char> &bytes, std::size_t maxBytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return false;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    unsigned char chunk[65536];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (bytes.size() + n > maxBytes) { // the file grew since stat
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    return ok;
}

bool decodeImage(const unsigned char *data, std::size_t size, int maxSide, Image &out) {
    if (!data || size == 0 || size > static_cast<std::size_t>(INT_MAX) ||
        !hasKnownSignature(data, size))
        return false;
    const int len = static_cast<int>(size);
    int w = 0, h = 0;
    {
        // The header alone tells the size; refuse before the decoder allocates.
        DecodeBudget header(kHeaderBudget);
        if (!codec::info(data, len, w, h) || w <= 0 || h <= 0 || w > maxSide || h > maxSide)
            return false;
    }
    if (size < leastFileBytes(data, size, w, h))
        return false;
    // Whatever the data stream says, the decoder holds no more than the
    // header's size allows. The budget outlives the decoded block.
    const int headerW = w, headerH = h;
    DecodeBudget budget(decodeBudget(w, h, size));
    std::unique_ptr<unsigned char, CodecFree> decoded(codec::loadRgba(data, len, w, h));
    if (!decoded || w != headerW || h != headerH)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
    out.pixels.assign(decoded.get(), decoded.get() + bytes);
    out.width = w;
    out.height = h;
    premultiply(out.pixels);
    flipRows(out);
    return true;
}

bool resampleImage(const Image &in, float width, float height, int maxSide, Image &out) {
    if (!std::isfinite(width) || !std::isfinite(height) || in.width <= 0 || in.height <= 0 ||
        in.pixels.size() !=
            static_cast<std::size_t>(in.width) * static_cast<std::size_t>(in.height) * 4)
        return false;
    const float w = std::round(width), h = std::round(height);
    if (w < 1.0f || h < 1.0f || w > static_cast<float>(maxSide) || h > static_cast<float>(maxSide))
        return false;
    Image r;
    r.width = static_cast<int>(w);
    r.height = static_cast<int>(h);
    r.pixels.resize(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height) * 4);
    // The data is premultiplied already, so the resampler must not weight by
    // alpha again. Rows are resampled in place; their order is unchanged.
    if (!stbir_resize_uint8_generic(in.pixels.data(), in.width, in.height, 0, r.pixels.data(),
                                    r.width, r.height, 0, 4, 3, STBIR_FLAG_ALPHA_PREMULTIPLIED,
                                    STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR,
                                    nullptr))
        return false;
    // Sharpening filters can ring a colour above its alpha; keep the
    // premultiplied invariant.
    for (std::size_t i = 0; i + 3 < r.pixels.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            r.pixels[i + c] = std::min(r.pixels[i + c], r.pixels[i + 3]);
    out = std::move(r);
    return true;
}

} // namespace xgfx
