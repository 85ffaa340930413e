// Quad geometry, state left behind and on-screen pixels of the texture
// drawing functions, in a real GL context on a private X server.
#include "util/XGfx.h"
#include "xvfb_session.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

constexpr float kHalf = XvfbSession::kWidth / 2.0f;

struct Corner {
    float x, y, s, t;
};

// Object units equal pixels, with the origin in the middle of the window.
void pixelProjection() {
    glViewport(0, 0, XvfbSession::kWidth, XvfbSession::kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-kHalf, kHalf, -kHalf, kHalf, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Runs draw in feedback mode and returns the polygons' corners in object
// units (the vertices as GL emitted them, window origin moved back).
template <typename Draw> std::vector<std::vector<Corner>> feedback(Draw draw) {
    pixelProjection();
    std::vector<GLfloat> buf(4096);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<std::vector<Corner>> polys;
    for (GLint i = 0; i < n;) {
        const auto token = static_cast<GLint>(buf[static_cast<size_t>(i++)]);
        if (token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        const auto count = static_cast<GLint>(buf[static_cast<size_t>(i++)]);
        std::vector<Corner> poly;
        for (GLint v = 0; v < count; ++v, i += 11) {
            const GLfloat *f = &buf[static_cast<size_t>(i)];
            poly.push_back({f[0] - kHalf, f[1] - kHalf, f[7], f[8]});
        }
        polys.push_back(poly);
    }
    return polys;
}

bool same(const Corner &a, const Corner &b) {
    return a.x == b.x && a.y == b.y && a.s == b.s && a.t == b.t;
}

// The quad's corners in submission order. GL may hand back one 4-sided
// polygon or split the quad (a, b, c, d) into (a, b, d), (b, c, d) or into
// (a, b, c), (a, c, d); anything else is not one quad.
std::vector<Corner> quadCorners(const std::vector<std::vector<Corner>> &polys) {
    if (polys.size() == 1 && polys[0].size() == 4)
        return polys[0];
    if (polys.size() != 2 || polys[0].size() != 3 || polys[1].size() != 3)
        return {};
    const auto &p = polys[0], &q = polys[1];
    if (same(p[1], q[0]) && same(p[2], q[2]))
        return {p[0], p[1], q[1], p[2]};
    if (same(p[0], q[0]) && same(p[2], q[1]))
        return {p[0], p[1], p[2], q[2]};
    return {};
}

void expectCorners(const std::vector<std::vector<Corner>> &polys, const std::vector<Corner> &want) {
    const std::vector<Corner> got = quadCorners(polys);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-3) << "corner " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-3) << "corner " << i;
        EXPECT_NEAR(got[i].s, want[i].s, 1e-6) << "corner " << i;
        EXPECT_NEAR(got[i].t, want[i].t, 1e-6) << "corner " << i;
    }
}

XTexture record(float scale, float w, float h) {
    XTexture t{};
    t.scale = scale;
    t.width = w;
    t.height = h;
    t.color[0] = t.color[1] = t.color[2] = t.color[3] = 1.0f;
    t.srcBlend = GL_ONE;
    t.dstBlend = GL_ONE_MINUS_SRC_ALPHA;
    t.depthWrite = true;
    return t;
}

std::array<int, 3> pixelAt(int x, int y) {
    unsigned char p[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

} // namespace

TEST(DrawTexture, QuadKeepsAspectWithLongerSideScale) {
    const XTexture wide = record(100, 200, 100);
    expectCorners(feedback([&] { XGfx::drawTexture(&wide); }),
                  {{-50, -25, 0, 0}, {50, -25, 1, 0}, {50, 25, 1, 1}, {-50, 25, 0, 1}});
    const XTexture tall = record(100, 100, 200);
    expectCorners(feedback([&] { XGfx::drawTexture(&tall); }),
                  {{-25, -50, 0, 0}, {25, -50, 1, 0}, {25, 50, 1, 1}, {-25, 50, 0, 1}});
    const XTexture square = record(60, 7, 7);
    expectCorners(feedback([&] { XGfx::drawTexture(&square); }),
                  {{-30, -30, 0, 0}, {30, -30, 1, 0}, {30, 30, 1, 1}, {-30, 30, 0, 1}});
    EXPECT_TRUE(feedback([] { XGfx::drawTexture(nullptr); }).empty());
}

TEST(DrawTexture, LeavesTexturingAndBlendOffDepthOnLightingFlipped) {
    GLuint name = 0;
    glGenTextures(1, &name);
    for (const bool lit : {false, true}) {
        XTexture t = record(1, 1, 1);
        t.textureId = name;
        t.lighting = lit;
        t.depthWrite = false;
        t.srcBlend = GL_SRC_ALPHA;
        t.dstBlend = GL_ONE;
        t.color[0] = 0.25f;
        glEnable(GL_TEXTURE_2D);
        glDepthMask(GL_FALSE);
        XGfx::drawTexture(&t);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_EQ(glIsEnabled(GL_LIGHTING), lit ? GL_FALSE : GL_TRUE);
        GLboolean depth = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depth);
        EXPECT_TRUE(depth);
        GLint bound = 0, src = 0, dst = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        EXPECT_EQ(static_cast<GLuint>(bound), name);
        EXPECT_EQ(src, GL_SRC_ALPHA);
        EXPECT_EQ(dst, GL_ONE);
        GLfloat color[4] = {};
        glGetFloatv(GL_CURRENT_COLOR, color);
        EXPECT_FLOAT_EQ(color[0], 0.25f);
        EXPECT_FLOAT_EQ(color[3], 1.0f);
    }
    glDisable(GL_LIGHTING);
    glDeleteTextures(1, &name);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(DrawTextureUV, CornersAndCoordinatesWithoutStateChanges) {
    expectCorners(feedback([] { XGfx::drawTextureUV(0, 0, 1, 1, 0, 0, 1, 1); }),
                  {{0, 1, 0, 0}, {1, 1, 1, 0}, {1, 0, 1, 1}, {0, 0, 0, 1}});
    expectCorners(
        feedback([] { XGfx::drawTextureUV(-10, -20, 30, 40, 0.25f, 0.5f, 0.75f, 1); }),
        {{-10, 40, 0.25f, 0.5f}, {30, 40, 0.75f, 0.5f}, {30, -20, 0.75f, 1}, {-10, -20, 0.25f, 1}});
    glEnable(GL_BLEND);
    glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
    XGfx::drawTextureUV(0, 0, 1, 1, 0, 0, 1, 1);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat color[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[3], 0.5f);
    glDisable(GL_BLEND);
}

TEST(DrawTexture, ShowsTheImageUprightAndBlendsPremultiplied) {
    // A 1 x 2 texture in upload order: bottom row half-transparent blue
    // (premultiplied), top row opaque red.
    const unsigned char texels[] = {0, 0, 128, 128, 255, 0, 0, 255};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);

    pixelProjection();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    XTexture t = record(100, 1, 2);
    t.textureId = name;
    XGfx::drawTexture(&t);
    glFinish();

    const int cx = XvfbSession::kWidth / 2, cy = XvfbSession::kHeight / 2;
    const auto top = pixelAt(cx, cy + 40), bottom = pixelAt(cx, cy - 40);
    EXPECT_EQ(top, (std::array<int, 3>{255, 0, 0}));
    EXPECT_NEAR(bottom[0], 0, 1);
    EXPECT_NEAR(bottom[1], 127, 2); // green background behind half alpha
    EXPECT_NEAR(bottom[2], 128, 2);
    EXPECT_EQ(pixelAt(cx + 40, cy), (std::array<int, 3>{0, 255, 0})); // outside: 25 wide
    glDisable(GL_LIGHTING);
    glDeleteTextures(1, &name);
}
