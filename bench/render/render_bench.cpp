// Frames per second of the game's scene, drawn by its own frame function in
// its own 800 x 800 window: the frame's clear, the doubled camera, the two
// corner disks, the seven text lines, the arrow, the six-disk board and the
// buffer swap, as the event loop runs them back to back.
//
// Without a DISPLAY the program starts a private Xvfb (Mesa's software
// renderer then does the drawing) and stops it when it ends.
#include <benchmark/benchmark.h>

#include <GL/freeglut.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <game/state.h>
#include <render/window.h>

extern char **environ;

namespace {

pid_t gXvfb = -1;

// Starts Xvfb on a display number it picks itself (-displayfd) and points
// DISPLAY at it. False when it cannot be started.
bool startXvfb() {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::string fd = std::to_string(fds[1]);
    const char *argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                          "1024x1024x24", "-nolisten",  "tcp",      nullptr};
    if (posix_spawnp(&gXvfb, "Xvfb", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
        return false;
    close(fds[1]);
    char number[16] = {0};
    ssize_t n = read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    if (n <= 0)
        return false;
    std::string display = ":" + std::string(number, static_cast<size_t>(n));
    while (!display.empty() && (display.back() == '\n'))
        display.pop_back();
    setenv("DISPLAY", display.c_str(), 1);
    std::fprintf(stderr, "render_bench: drawing on a private Xvfb at %s\n", display.c_str());
    return true;
}

void stopXvfb() {
    if (gXvfb <= 0)
        return;
    kill(gXvfb, SIGTERM);
    waitpid(gXvfb, nullptr, 0);
}

// Lets freeglut map the window and deliver its first reshape.
void settle() {
    for (int i = 0; i < 20; ++i)
        glutMainLoopEvent();
}

// The arrow at rest in the centre: the scene of a player between shots.
void BM_FrameAtRest(benchmark::State &state) {
    x_adj = y_adj = 0.0;
    arrow_move = true;
    settle();
    for (auto _ : state)
        displayFunc();
    glFinish();
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameAtRest)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// A new shot every 30 frames: the arrow mostly in flight, large and near the
// viewer at the start of each flight.
void BM_FrameWithShots(benchmark::State &state) {
    long frame = 0;
    for (auto _ : state) {
        if (frame++ % 30 == 0) {
            x_adj = 0.3;
            y_adj = -0.25;
            arrow_move = true;
        }
        displayFunc();
    }
    glFinish();
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameWithShots)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    const char *display = std::getenv("DISPLAY");
    if ((display == nullptr || *display == '\0') && !startXvfb()) {
        std::fprintf(stderr, "render_bench: no DISPLAY and Xvfb cannot be started\n");
        return 1;
    }
    std::atexit(stopXvfb);
    benchmark::Initialize(&argc, argv);
    int glutArgc = 1;
    char name[] = "render_bench";
    char *glutArgv[] = {name, nullptr};
    glutInit(&glutArgc, glutArgv);
    initGfx();
    settle();
    const auto *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    benchmark::AddCustomContext("GL renderer", renderer ? renderer : "unknown");
    benchmark::AddCustomContext("display", std::getenv("DISPLAY"));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
