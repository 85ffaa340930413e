// The scene in a real window: the board and text at their pixels, the arrow's
// flight, and the window keys through real GLUT requests.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <game/controls.h>
#include <game/state.h>
#include <render/arrow.h>
#include <render/board.h>
#include <render/window.h>

#include "gl_fixture.h"

std::string currentWindowTitle();

namespace {

bool isBlue(Pixel p) {
    return p.b > 100 && p.r < 60 && p.g < 60;
}
bool isRed(Pixel p) {
    return p.r > 100 && p.g < 60 && p.b < 60;
}
bool isBlack(Pixel p) {
    return p.r < 20 && p.g < 20 && p.b < 20;
}
// The corner disks' (1, 1, 0.8), lit: red and green alike, blue at four
// fifths of them, the whole a little dimmed by the light.
bool isPaleYellow(Pixel p) {
    return p.r >= 215 && p.r <= 250 && std::abs(p.g - p.r) <= 2 &&
           std::abs(p.b * 5 - p.r * 4) <= 20;
}

std::string colourOf(Pixel p) {
    return std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b);
}

Pixel worldPixel(const std::vector<unsigned char> &frame, double x, double y, double z) {
    int wx, wy;
    projectToWindow(x, y, z, wx, wy);
    return pixelAt(frame, wx, wy);
}

void flyFor(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        displayFunc();
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

} // namespace

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        startWindowOnce();
        x_adj = 0.0;
        y_adj = 0.0;
        arrow_move = false;
        arrow = iSlew3D(0.5f);
    }
};

TEST_F(RenderTest, WindowIsArrowsongAt800By800) {
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 800);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 800);
    EXPECT_EQ(w_width, 800);
    EXPECT_EQ(w_height, 800);
    EXPECT_EQ(currentWindowTitle(), "Arrowsong");
}

TEST_F(RenderTest, BoardShowsABlueCentreAndAlternatingRings) {
    arrow = iSlew3D(Vector3D(5.0f, 5.0f, 0.0f), 0.5f); // at rest, off the board
    const std::vector<unsigned char> frame = drawAndRead();
    // Each disk in its own plane, 0.01 behind the one before, and the colour
    // seen just outside it: the next disk's, and black beyond the board.
    const struct {
        double radius, z;
        bool (*inside)(Pixel);
        bool (*outside)(Pixel);
    } disks[] = {{0.02, 0.01, isBlue, isRed},  {0.06, 0.0, isRed, isBlue},
                 {0.13, -0.01, isBlue, isRed}, {0.24, -0.02, isRed, isBlue},
                 {0.37, -0.03, isBlue, isRed}, {0.5, -0.04, isRed, isBlack}};
    // About 2.5 pixels either side of the edge, at angles where the disk's
    // 32 slices put a corner on the circle.
    const double margin = 0.005;
    for (const auto &disk : disks) {
        for (int k = 0; k < 8; ++k) {
            const double angle = k * M_PI / 4.0, c = std::cos(angle), s = std::sin(angle);
            const double in = disk.radius - margin, out = disk.radius + margin;
            const Pixel pin = worldPixel(frame, in * c, in * s, disk.z);
            const Pixel pout = worldPixel(frame, out * c, out * s, disk.z);
            EXPECT_TRUE(disk.inside(pin))
                << "inside radius " << disk.radius << " at " << angle << ": " << colourOf(pin);
            EXPECT_TRUE(disk.outside(pout))
                << "outside radius " << disk.radius << " at " << angle << ": " << colourOf(pout);
        }
    }
    // The board spans about two thirds of the window.
    int left, right, y;
    projectToWindow(-0.5, 0.0, -0.04, left, y);
    projectToWindow(0.5, 0.0, -0.04, right, y);
    EXPECT_NEAR(right - left, 800 * 2 / 3, 40);
    EXPECT_NEAR((left + right) / 2, 400, 2);
}

TEST_F(RenderTest, CornerDisksCarryTheInstructions) {
    const std::vector<unsigned char> frame = drawAndRead();
    for (double x : {0.5, -0.5}) {
        for (double dy : {-0.2, 0.0}) {
            const Pixel p = worldPixel(frame, x, 0.5 + dy, 0.5);
            EXPECT_TRUE(isPaleYellow(p)) << "disk at x " << x << ": " << colourOf(p);
        }
    }
    // Line 2, "To hear the pitch,", starts 0.2 right of (-0.7, 0.41, 0.6):
    // its glyphs stand out against the disk behind them.
    int x0, baseline;
    projectToWindow(-0.5, 0.41, 0.6, x0, baseline);
    int glyphPixels = 0;
    for (int x = x0; x < x0 + 18 * 9; ++x)
        for (int y = baseline - 12; y <= baseline; ++y) {
            const Pixel p = pixelAt(frame, x, y);
            glyphPixels += !isPaleYellow(p) && !isBlack(p) && p.r >= 0;
        }
    EXPECT_GT(glyphPixels, 100);
    // Nothing is drawn in the lower corners.
    EXPECT_TRUE(isBlack(pixelAt(frame, 20, 780)));
    EXPECT_TRUE(isBlack(pixelAt(frame, 780, 780)));
}

TEST_F(RenderTest, ShotKeysLandTheArrowWhereTheyPoint) {
    keyboardFunc('.', 0, 0);
    flyFor(1.5);
    EXPECT_FALSE(arrow_move);
    EXPECT_NEAR(arrow.slewX().x, x_adj, 1e-3);
    EXPECT_NEAR(arrow.slewY().x, 0.5, 1e-3);
    EXPECT_NEAR(arrow.slewZ().x, 0.0, 1e-3);

    keyboardFunc('/', 0, 0);
    keyboardFunc('b', 0, 0);
    // The first frame of a flight shows the start point, then takes its step:
    // a tenth of the way at 60 frames a second.
    drawFrame(1.0 / 60.0);
    EXPECT_NEAR(arrow.slewX().x, 0.9 * 0.02, 1e-6);
    EXPECT_NEAR(arrow.slewY().x, 0.0, 1e-6);
    EXPECT_NEAR(arrow.slewZ().x, 0.9 * 1.8, 1e-6);
    flyFor(1.5);
    EXPECT_NEAR(arrow.slewX().x, 0.0, 1e-3);
    EXPECT_NEAR(arrow.slewY().x, 0.0, 1e-3);
    // Landed in the centre: its grey point sits in the blue disk.
    const std::vector<unsigned char> frame = drawAndRead();
    EXPECT_TRUE(isBlue(worldPixel(frame, 0.012, 0.0, 0.0)));
}

TEST_F(RenderTest, AStalledFrameLandsTheArrowInsteadOfThrowingIt) {
    x_adj = 0.2;
    y_adj = -0.25;
    arrow_move = true;
    glPushMatrix();
    moveArrow(x_adj, y_adj, 5.0); // five seconds without a frame
    glPopMatrix();
    EXPECT_NEAR(arrow.slewX().x, 0.2, 1e-6);
    EXPECT_NEAR(arrow.slewY().x, -0.25, 1e-6);
    EXPECT_NEAR(arrow.slewZ().x, 0.0, 1e-6);

    arrow_move = true;
    glPushMatrix();
    moveArrow(x_adj, y_adj, 0.0);  // restarts; a zero step stays at the start
    moveArrow(x_adj, y_adj, -0.5); // a clock stepping back moves nothing
    glPopMatrix();
    EXPECT_FLOAT_EQ(arrow.slewZ().x, 1.8f);
    EXPECT_FLOAT_EQ(arrow.slewX().x, 0.02f);
    EXPECT_EQ(arrowStep(0.01), 0.01f);
    EXPECT_FLOAT_EQ(arrowStep(1e9), 1.0f / 6.0f);
}

TEST_F(RenderTest, SeveralShotsInOneFrameStartOneFlight) {
    keyboardFunc('z', 0, 0);
    keyboardFunc('.', 0, 0);
    displayFunc();
    EXPECT_FALSE(arrow_move);
    flyFor(1.5);
    EXPECT_NEAR(arrow.slewY().x, 0.5, 1e-3); // the later shot's target
}

TEST_F(RenderTest, ZeroHeightWindowKeepsAUsableProjection) {
    reshapeFunc(800, 0);
    EXPECT_EQ(w_height, 0);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (double v : projection)
        EXPECT_TRUE(std::isfinite(v));
    displayFunc();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    reshapeFunc(800, 800);
}

TEST_F(RenderTest, KeyRAsksForTheLastReportedSize) {
    glutReshapeWindow(300, 200); // not yet reported to reshapeFunc
    keyboardFunc('r', 0, 0);
    pumpEvents();
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 800);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 800);

    glutReshapeWindow(500, 300);
    pumpEvents();
    EXPECT_EQ(w_width, 500);
    EXPECT_EQ(w_height, 300);
    keyboardFunc('r', 0, 0);
    pumpEvents();
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 500);
    glutReshapeWindow(800, 800);
    pumpEvents();
}

TEST_F(RenderTest, EmptyTextLeavesTheMatrixAsItWas) {
    GLdouble before[16], after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    draw_text("");
    draw_text(nullptr);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(before[i], after[i]);
}
