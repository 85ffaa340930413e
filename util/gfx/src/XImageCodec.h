// The image decoder compiled into this library, and the allocator it runs on.
// Every allocation the decoder makes is charged to the calling thread's
// innermost DecodeBudget: past its limit, or with no budget in place, the
// allocation fails and so does the decode. A damaged file can therefore
// never make the decoder hold more than the caller allowed.
#pragma once

#include <cstddef>

namespace xgfx {

class DecodeBudget {
  public:
    // Makes this budget the calling thread's current one until destroyed.
    // Blocks must be freed before the budget that paid for them ends.
    explicit DecodeBudget(std::size_t limit);
    ~DecodeBudget();
    DecodeBudget(const DecodeBudget &) = delete;
    DecodeBudget &operator=(const DecodeBudget &) = delete;

    // The most the decoder held at once under this budget, in bytes.
    std::size_t peak() const { return peak_; }

    // The decoder's malloc, realloc and free. New bytes come zeroed from
    // calloc, untouched until the decoder writes them: the decoder reads
    // tables a damaged file never defined, and these must not be leftover
    // heap contents. A failed reallocate leaves the old block as it was, as
    // realloc does.
    static void *allocate(std::size_t bytes);
    static void *reallocate(void *block, std::size_t bytes);
    static void release(void *block);

  private:
    bool charge(std::size_t freed, std::size_t taken);

    std::size_t limit_;
    std::size_t live_ = 0;
    std::size_t peak_ = 0;
    DecodeBudget *outer_;
};

namespace codec {

// Width and height from the header alone (PNG, GIF or BMP).
bool info(const unsigned char *data, int size, int &width, int &height);

// The whole image as 8-bit RGBA, straight alpha, top row first; null on any
// failure. The result is freed with freeImage under the same budget.
unsigned char *loadRgba(const unsigned char *data, int size, int &width, int &height);
void freeImage(unsigned char *pixels);

} // namespace codec
} // namespace xgfx
