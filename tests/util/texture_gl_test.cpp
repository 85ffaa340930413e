// Texture loading and drawing in a real GL context on a private X server.
#include "util/XGfx.h"
#include "xvfb_session.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Pixel = std::array<int, 4>;

// Test images live in a private folder removed with the fixture.
class TextureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/util-gl-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        glGenTextures(1, &tex_);
        glBindTexture(GL_TEXTURE_2D, tex_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        glDeleteTextures(1, &tex_);
        for (const auto &f : files_)
            std::remove(f.c_str());
        ::rmdir(dir_.c_str());
    }
    std::string path(const std::string &name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    // w x h RGBA, rows top first as image files store them.
    std::string writePng(const std::string &name, int w, int h, const std::vector<Pixel> &rows) {
        std::vector<unsigned char> data;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    data.push_back(static_cast<unsigned char>(rows[static_cast<size_t>(y)][c]));
        const std::string p = path(name);
        EXPECT_TRUE(stbi_write_png(p.c_str(), w, h, 4, data.data(), w * 4));
        return p;
    }
    std::string writeBytes(const std::string &name, const std::string &bytes) {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    static std::string readBytes(const std::string &p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::pair<int, int> textureSize() {
        GLint w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        return {w, h};
    }
    static std::vector<unsigned char> texels() {
        const auto [w, h] = textureSize();
        std::vector<unsigned char> out(static_cast<size_t>(w * h * 4));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    }
    static Pixel texel(const std::vector<unsigned char> &t, int w, int x, int y) {
        const size_t i = static_cast<size_t>((y * w + x) * 4);
        return {t[i], t[i + 1], t[i + 2], t[i + 3]};
    }
    // Loads expecting failure and returns what went to standard error.
    static std::string failedLoad(const std::string &p, XTexture *t) {
        ::testing::internal::CaptureStderr();
        const bool ok = XGfx::loadTexture(p, t);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok) << p;
        return err;
    }

    GLuint tex_ = 0;
    std::string dir_;

  private:
    std::vector<std::string> files_;
};

const Pixel kRed{255, 0, 0, 255};
const Pixel kHalfOrange{200, 100, 50, 128};
// Times 128 / 255 each colour has a fraction above one half (100.89, 49.69,
// 126.99): rounding and truncation differ in every channel.
const Pixel kHalfRoundsUp{201, 99, 253, 128};
// Either side of the half: 254 * 128 / 255 = 127.498 must give 127 (a bias of
// one more, (c * a + 128) / 255, gives 128), and 1 * 128 / 255 = 0.502 must
// give 1 (truncation gives 0); 127 * 128 / 255 = 63.749 gives 64.
const Pixel kNearTheHalf{254, 127, 1, 128};
const Pixel kClearWhite{255, 255, 255, 0};
const Pixel kBlue{0, 0, 255, 255};

XTexture blankRecord() {
    XTexture t{};
    t.width = -7.0f; // sentinels: a failed load must leave them alone
    t.height = -9.0f;
    return t;
}

} // namespace

TEST_F(TextureTest, UploadsPremultipliedBottomRowFirst) {
    const std::string p =
        writePng("rows.png", 2, 5, {kNearTheHalf, kRed, kHalfOrange, kHalfRoundsUp, kClearWhite});
    XTexture t = blankRecord();
    ASSERT_TRUE(XGfx::loadTexture(p, &t));
    EXPECT_EQ(t.width, 2.0f);
    EXPECT_EQ(t.height, 5.0f);
    EXPECT_EQ(textureSize(), std::make_pair(2, 5));
    const auto px = texels();
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(texel(px, 2, x, 0), (Pixel{0, 0, 0, 0}));        // bottom: clear white
        EXPECT_EQ(texel(px, 2, x, 1), (Pixel{101, 50, 127, 128})); // rounded, not truncated
        EXPECT_EQ(texel(px, 2, x, 2), (Pixel{100, 50, 25, 128}));  // 200 * 128 / 255 ...
        EXPECT_EQ(texel(px, 2, x, 3), kRed);
        EXPECT_EQ(texel(px, 2, x, 4), (Pixel{127, 64, 1, 128})); // top row last
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, ResamplesOnlyWhenBothResizeFieldsArePositive) {
    std::vector<Pixel> rows(8, kRed);
    for (int y = 4; y < 8; ++y)
        rows[static_cast<size_t>(y)] = kBlue; // bottom half blue
    const std::string p = writePng("halves.png", 8, 8, rows);

    XTexture t = blankRecord();
    t.resizeWidth = 4;
    t.resizeHeight = 2;
    ASSERT_TRUE(XGfx::loadTexture(p, &t));
    EXPECT_EQ(textureSize(), std::make_pair(4, 2));
    EXPECT_EQ(t.width, 8.0f); // the decoded size, not the resampled one
    EXPECT_EQ(t.height, 8.0f);
    // The filter blends across the middle; each row keeps its half's colour.
    const auto px = texels();
    const Pixel low = texel(px, 4, 1, 0), high = texel(px, 4, 2, 1);
    EXPECT_GT(low[2], 200);
    EXPECT_LT(low[0], 55);
    EXPECT_GT(high[0], 200);
    EXPECT_LT(high[2], 55);
    EXPECT_EQ(low[3], 255);

    for (const auto &size : {std::make_pair(0.0f, 4.0f), std::make_pair(4.0f, -1.0f)}) {
        t.resizeWidth = size.first;
        t.resizeHeight = size.second;
        ASSERT_TRUE(XGfx::loadTexture(p, &t));
        EXPECT_EQ(textureSize(), std::make_pair(8, 8));
    }
}

TEST_F(TextureTest, UnusableResizeReportsNoBitmap) {
    const std::string p = writePng("one.png", 1, 1, {kRed});
    for (const float size : {1.0e9f, 0.2f}) {
        XTexture t = blankRecord();
        t.resizeWidth = size;
        t.resizeHeight = 16;
        EXPECT_EQ(failedLoad(p, &t), "[x-gfx]: error: UIImage == nil...\n");
        EXPECT_EQ(t.width, 1.0f); // set before the resize failed
    }
}

TEST_F(TextureTest, NullRecordLoadsAtOwnSize) {
    const std::string p = writePng("wide.png", 5, 2, {kRed, kBlue});
    ASSERT_TRUE(XGfx::loadTexture(p, nullptr));
    EXPECT_EQ(textureSize(), std::make_pair(5, 2));
}

TEST_F(TextureTest, ReadsBmpButNotJpeg) {
    std::vector<unsigned char> grey(16 * 16 * 3, 128);
    XTexture t = blankRecord();
    const std::string bmp = path("grey.bmp");
    ASSERT_TRUE(stbi_write_bmp(bmp.c_str(), 16, 16, 3, grey.data()));
    ASSERT_TRUE(XGfx::loadTexture(bmp, &t));
    EXPECT_EQ(t.width, 16.0f);
    EXPECT_EQ(texel(texels(), 16, 3, 3), (Pixel{128, 128, 128, 255}));

    const std::string jpg = path("grey.jpg");
    ASSERT_TRUE(stbi_write_jpg(jpg.c_str(), 16, 16, 3, grey.data(), 95));
    t = blankRecord();
    EXPECT_EQ(failedLoad(jpg, &t), "[x-gfx]: cannot load file: " + jpg + "\n");
    EXPECT_EQ(t.width, -7.0f);
}

TEST_F(TextureTest, BadFilesFailWithTheMessageAndLeaveTheRecord) {
    const std::string good = readBytes(writePng("good.png", 4, 4, std::vector<Pixel>(4, kRed)));
    std::string huge = good; // IHDR width and height patched to 100000
    for (size_t at : {16u, 20u}) {
        huge[at] = 0;
        huge[at + 1] = 1;
        huge[at + 2] = static_cast<char>(0x86);
        huge[at + 3] = static_cast<char>(0xa0);
    }
    std::string corrupt = good;
    for (size_t i = 40; i < corrupt.size() - 12; ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
    ::mkdir((path("folder.png")).c_str(), 0700);
    // 173 bytes whose damaged chunks ask the decoder for 2 GiB.
    std::ifstream damaged(std::string(ARROWSONG_IMAGE_CORPUS) + "/damaged-stream.png",
                          std::ios::binary);
    ASSERT_TRUE(damaged);

    const std::vector<std::string> bad = {
        path("missing.png"),
        writeBytes("empty.png", ""),
        writeBytes("truncated.png", good.substr(0, good.size() / 2)),
        writeBytes("corrupt.png", corrupt),
        writeBytes("huge.png", huge),
        writeBytes("damaged.png", std::string(std::istreambuf_iterator<char>(damaged), {})),
        writeBytes("text.png", "this is not an image at all\n"),
        writeBytes("tga-like.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\4\0\4\0\x20\0", 18) +
                                       std::string(64, 'x')),
        dir_ + "/folder.png",
    };
    for (const auto &p : bad) {
        XTexture t = blankRecord();
        EXPECT_EQ(failedLoad(p, &t), "[x-gfx]: cannot load file: " + p + "\n");
        EXPECT_EQ(t.width, -7.0f);
        EXPECT_EQ(t.height, -9.0f);
    }
    EXPECT_EQ(failedLoad(path("gone.png"), nullptr),
              "[x-gfx]: cannot load file: " + dir_ + "/gone.png\n");
}
