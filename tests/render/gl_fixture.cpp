#include "gl_fixture.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <game/state.h>
#include <render/window.h>

#include <headless/servers.h>

namespace {

std::unique_ptr<headless::Xvfb> server;

// Keeps the GL driver that Mesa loaded for the window (wherever the usual
// search found it) in memory to the end, so that the leak checker can name
// it: its own allocations are suppressed by name, see CMakeLists.txt.
void keepGlDriverLoaded() {
    std::vector<std::string> drivers;
    ::dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *found) {
            if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "_dri.so") != nullptr)
                static_cast<std::vector<std::string> *>(found)->push_back(info->dlpi_name);
            return 0;
        },
        &drivers);
    for (const std::string &driver : drivers)
        ::dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

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
    server = std::make_unique<headless::Xvfb>();
    ASSERT_FALSE(server->display().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", server->display().c_str(), 1);
    int argc = 1;
    char name[] = "render_tests";
    char *argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    initGfx();
    keepGlDriverLoaded();
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
