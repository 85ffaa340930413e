#include "xvfb_session.h"

#include <GL/freeglut.h>

#include <cstdlib>

#include <headless/servers.h>

void XvfbSession::SetUp() {
    server_ = new headless::Xvfb;
    ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", server_->display().c_str(), 1);

    int argc = 1;
    char name[] = "util_gl_tests";
    char *argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kWidth, kHeight);
    window_ = glutCreateWindow("util gl tests");
    ASSERT_GT(window_, 0);
}

// The window, the GL context and the server are all left to process exit:
// tearing the context down unloads the GL driver, whose own allocations
// would then read as leaks with no module to attribute them to, and closing
// the server first makes Xlib's exit-time requests fail fatally. The server
// gets SIGTERM from the kernel when this process ends.
void XvfbSession::TearDown() {}
