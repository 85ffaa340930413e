#include "gl_fixture.h"

#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <thread>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <game/state.h>
#include <render/window.h>

#include "servers.h"

namespace {

std::unique_ptr<testsupport::Xvfb> server;

// The game keeps its window until the process ends; a test program closes
// it, so that the leak checker sees only what the code under test leaks.
class CloseWindow : public ::testing::Environment {
  public:
    void TearDown() override {
        if (!server)
            return;
        glutDestroyWindow(glutGetWindow());
        glutExit();
        server.reset();
    }
};
const auto *closer = ::testing::AddGlobalTestEnvironment(new CloseWindow);

} // namespace

void startWindowOnce() {
    if (server)
        return;
    server = std::make_unique<testsupport::Xvfb>();
    ASSERT_FALSE(server->display().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", server->display().c_str(), 1);
    // Keep Mesa's software driver loaded to the end, so that the leak checker
    // can name it (its own allocations are suppressed, see CMakeLists.txt).
    ::dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    int argc = 1;
    char name[] = "render_tests";
    char *argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    initGfx();
    pumpEvents(50);
}

void pumpEvents(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<unsigned char> currentWindowImage(int width, int height);

std::vector<unsigned char> drawAndRead() {
    displayFunc();
    glFinish();
    return currentWindowImage(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
}

Pixel pixelAt(const std::vector<unsigned char> &frame, int x, int y) {
    const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return {-1, -1, -1};
    const size_t at = static_cast<size_t>((y * w + x) * 3);
    return {frame[at], frame[at + 1], frame[at + 2]};
}

void projectToWindow(double wx, double wy, double wz, int &x, int &y) {
    // reshapeFunc leaves the camera once on the modelview stack; a frame
    // applies it a second time.
    GLdouble once[16], twice[16], projection[16];
    GLint viewport[4];
    glMatrixMode(GL_MODELVIEW);
    glGetDoublev(GL_MODELVIEW_MATRIX, once);
    glPushMatrix();
    glMultMatrixd(once);
    glGetDoublev(GL_MODELVIEW_MATRIX, twice);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble px, py, pz;
    gluProject(wx, wy, wz, twice, projection, viewport, &px, &py, &pz);
    x = static_cast<int>(px);
    y = viewport[3] - 1 - static_cast<int>(py);
}
