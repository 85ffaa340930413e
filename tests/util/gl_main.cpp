#include "xvfb_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define UTIL_GL_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UTIL_GL_LEAK_CHECK 1
#endif
#endif
#ifdef UTIL_GL_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

// Ends with _exit once the results are out: the exit-time teardown of the GL
// driver and the X connection only unloads code whose allocations would then
// be reported as leaks nobody can attribute. Leaks are checked just before,
// while the driver is still loaded and its memory still reachable.
//
// For that check the software rasteriser runs on this thread alone. Its
// worker threads would otherwise sit idle beside the check, and the leak
// checker's stop-the-world tracer once crashed (signal 11) while suspending
// them, failing a test that had passed. The pixels do not depend on it.
int main(int argc, char **argv) {
#ifdef UTIL_GL_LEAK_CHECK
    ::setenv("LP_NUM_THREADS", "0", 0);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbSession);
    const int status = RUN_ALL_TESTS();
#ifdef UTIL_GL_LEAK_CHECK
    __lsan_do_leak_check();
#endif
    std::fflush(nullptr);
    ::_exit(status);
}
