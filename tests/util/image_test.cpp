// The texture decoder on its own: the allocator that bounds it, the budget a
// header buys, images at the limits of what it must accept, and damaged
// files that once made it misbehave.
#include "XImage.h"
#include "XImageCodec.h"
#include "test_png.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string readCorpus(const std::string &name) {
    std::ifstream in(std::string(ARROWSONG_IMAGE_CORPUS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool decode(const std::string &bytes, xgfx::Image &out, int maxSide = 1024) {
    return xgfx::decodeImage(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(),
                             maxSide, out);
}

std::array<int, 4> pixel(const xgfx::Image &img, int x, int yFromTop) {
    const std::size_t i = (static_cast<std::size_t>(img.height - 1 - yFromTop) * img.width + x) * 4;
    return {img.pixels[i], img.pixels[i + 1], img.pixels[i + 2], img.pixels[i + 3]};
}

} // namespace

TEST(DecodeBudget, RefusesPastItsLimitAndKeepsBlocksIntact) {
    xgfx::DecodeBudget budget(1000);
    auto *a = static_cast<unsigned char *>(xgfx::DecodeBudget::allocate(600));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(xgfx::DecodeBudget::allocate(401), nullptr);
    std::memset(a, 7, 600);
    // Growing past the limit fails and leaves the block as it was.
    EXPECT_EQ(xgfx::DecodeBudget::reallocate(a, 1001), nullptr);
    EXPECT_EQ(a[599], 7);
    // Growing within it keeps the contents; what is new comes zeroed.
    a = static_cast<unsigned char *>(xgfx::DecodeBudget::reallocate(a, 900));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[0], 7);
    EXPECT_EQ(a[599], 7);
    EXPECT_EQ(a[600], 0);
    EXPECT_EQ(a[899], 0);
    void *b = xgfx::DecodeBudget::allocate(100);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(xgfx::DecodeBudget::allocate(1), nullptr); // 900 + 100 held
    xgfx::DecodeBudget::release(a);                      // freed bytes come back
    auto *c = static_cast<unsigned char *>(xgfx::DecodeBudget::allocate(900));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[899], 0);
    xgfx::DecodeBudget::release(b);
    xgfx::DecodeBudget::release(c);
    xgfx::DecodeBudget::release(nullptr);
    EXPECT_EQ(budget.peak(), 1000u);
}

TEST(DecodeBudget, InnermostBudgetPaysAndNoneMeansNoMemory) {
    EXPECT_EQ(xgfx::DecodeBudget::allocate(1), nullptr);
    xgfx::DecodeBudget outer(1 << 20);
    {
        xgfx::DecodeBudget inner(64);
        EXPECT_EQ(xgfx::DecodeBudget::allocate(65), nullptr);
        void *p = xgfx::DecodeBudget::allocate(64);
        EXPECT_NE(p, nullptr);
        xgfx::DecodeBudget::release(p);
        EXPECT_EQ(inner.peak(), 64u);
    }
    void *q = xgfx::DecodeBudget::allocate(4096); // the outer budget is back
    EXPECT_NE(q, nullptr);
    xgfx::DecodeBudget::release(q);
    EXPECT_EQ(outer.peak(), 4096u);
    const std::size_t huge = ~std::size_t{0};
    EXPECT_EQ(xgfx::DecodeBudget::allocate(huge), nullptr);
}

TEST(DecodeBudget, GrowsByWholeBlocksAndSaturates) {
    EXPECT_EQ(xgfx::decodeBudget(1, 1, 0), xgfx::decodeBudget(32, 32, 0));
    EXPECT_LT(xgfx::decodeBudget(32, 32, 0), xgfx::decodeBudget(33, 32, 0));
    EXPECT_LT(xgfx::decodeBudget(32, 32, 0), xgfx::decodeBudget(32, 32, 1));
    EXPECT_EQ(xgfx::decodeBudget(1 << 30, 1 << 30, 1), ~std::size_t{0});
    EXPECT_EQ(xgfx::decodeBudget(1, 1, ~std::size_t{0}), ~std::size_t{0});
}

TEST(ImageDecode, DamagedStreamOfATinyPngFailsWithinItsBudget) {
    // 8 x 6 pixels, 4-bit palette; a damaged chunk once made the decoder
    // ask for 2 GiB.
    const std::string bytes = readCorpus("damaged-stream.png");
    ASSERT_EQ(bytes.size(), 173u);
    xgfx::Image img;
    img.width = -1;
    EXPECT_FALSE(decode(bytes, img));
    EXPECT_EQ(img.width, -1);
    EXPECT_TRUE(img.pixels.empty());

    // What it may hold: the 2 GiB its chunk lengths ask for is far past it.
    EXPECT_LT(xgfx::decodeBudget(8, 6, bytes.size()), std::size_t{2} << 20);
}

TEST(ImageDecode, HungriestRealImageFitsItsBudget) {
    // 16-bit RGBA, interlaced, at the fuzzer's side limit: the decoder's
    // largest need per pixel. Blocks of 64 pixels; the low byte of each
    // sample must be dropped, alpha alternates between 255 and 128.
    const int side = 1024;
    const std::string png =
        testpng::png16(side, side, 4, true, [](int x, int y, int c) -> unsigned {
            const unsigned bx = static_cast<unsigned>(x / 64), by = static_cast<unsigned>(y / 64);
            const unsigned high[4] = {bx * 17, by * 17, 0x80, (bx + by) % 2 ? 255u : 128u};
            return high[c] << 8 | 0x7f;
        });
    xgfx::Image img;
    ASSERT_TRUE(decode(png, img, side));
    ASSERT_EQ(img.width, side);
    ASSERT_EQ(img.height, side);
    EXPECT_EQ(pixel(img, 0, 0), (std::array<int, 4>{0, 0, 64, 128}));
    EXPECT_EQ(pixel(img, 64, 0), (std::array<int, 4>{17, 0, 128, 255}));
    EXPECT_EQ(pixel(img, 1023, 1023), (std::array<int, 4>{128, 128, 64, 128}));
    EXPECT_EQ(pixel(img, 200, 700), (std::array<int, 4>{51, 170, 128, 255}));
    EXPECT_EQ(pixel(img, 700, 260), (std::array<int, 4>{85, 34, 64, 128})); // 170, 68 at 128
}

TEST(ImageDecode, EverySeedImageDecodes) {
    for (const char *name :
         {"anim.gif", "grey16.png", "img.bmp", "interlaced.png", "palette.png", "rgba.png"}) {
        xgfx::Image img;
        EXPECT_TRUE(decode(readCorpus(name), img)) << name;
        EXPECT_EQ(img.pixels.size(), static_cast<std::size_t>(img.width) * img.height * 4);
    }
}

TEST(ImageDecode, JpegIsNotDecoded) {
    // Sound files and the damaged ones that fuzzing found in the JPEG
    // decoder: a Huffman table written out of bounds, a scan using a table
    // never defined, a bit buffer shifted by its width (308 bytes). The
    // decoder itself does not know the format, not only the signature check.
    for (const char *name : {"base.jpg", "prog.jpg", "overfull-table.jpg", "undefined-table.jpg",
                             "shift-past-word.jpg"}) {
        const std::string bytes = readCorpus(name);
        xgfx::Image img;
        img.width = -1;
        EXPECT_FALSE(decode(bytes, img)) << name;
        EXPECT_EQ(img.width, -1) << name;
        int w = 0, h = 0;
        xgfx::DecodeBudget budget(std::size_t{1} << 20);
        EXPECT_FALSE(xgfx::codec::info(reinterpret_cast<const unsigned char *>(bytes.data()),
                                       static_cast<int>(bytes.size()), w, h))
            << name;
    }
}

TEST(ImageDecode, HeaderClaimingMoreThanTheFileHoldsIsRefused) {
    // 8192 x 8192 claimed by 83 bytes of PNG (its data stream ends at once)
    // and by a bare BMP header: the decoder once committed half a gigabyte
    // to each, and took the BMP for an image.
    std::string bmp = readCorpus("img.bmp").substr(0, 54);
    bmp.replace(18, 8, std::string("\x00\x20\x00\x00\x00\x20\x00\x00", 8));
    xgfx::Image img;
    for (const auto &claim : {readCorpus("claims-8192.png"), bmp})
        EXPECT_FALSE(decode(claim, img, 8192));
    EXPECT_TRUE(img.pixels.empty());

    // A whole BMP decodes; a byte short of its last row it is truncated.
    const std::string whole = readCorpus("img.bmp");
    ASSERT_TRUE(decode(whole, img));
    EXPECT_FALSE(decode(whole.substr(0, whole.size() - 1), img));
}
