#include "xvfb_session.h"

#include <GL/freeglut.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads the display number that Xvfb writes to the pipe once it is ready.
std::string readDisplay(int fd) {
    std::string number;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            return {};
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            return number;
        number.push_back(c);
    }
}

} // namespace

void XvfbSession::SetUp() {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t parent = ::getpid();
    server_ = ::fork();
    ASSERT_GE(server_, 0);
    if (server_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
                 "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string display = readDisplay(fds[0]);
    ::close(fds[0]);
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", (":" + display).c_str(), 1);

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
// gets SIGTERM from the kernel when this process ends (PR_SET_PDEATHSIG).
void XvfbSession::TearDown() {}
