// Frames per second of the game's scene, drawn by its own frame function in
// its own 800 x 800 window: the frame's clear, the doubled camera, the two
// corner disks, the seven text lines, the arrow, the six-disk board and the
// buffer swap, as the event loop runs them back to back.
//
// Without a DISPLAY the program starts a private Xvfb (Mesa's software
// renderer then does the drawing) and stops it when it ends.
#include <benchmark/benchmark.h>

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <game/state.h>
#include <headless/servers.h>
#include <render/window.h>

namespace {

// The private server, when one was started; stopped when the program ends.
std::unique_ptr<headless::Xvfb> gXvfb;

// Starts Xvfb and points DISPLAY at it. False when it cannot be started.
bool startXvfb() {
    gXvfb = std::make_unique<headless::Xvfb>();
    if (gXvfb->display().empty())
        return false;
    setenv("DISPLAY", gXvfb->display().c_str(), 1);
    std::fprintf(stderr, "render_bench: drawing on a private Xvfb at %s\n",
                 gXvfb->display().c_str());
    return true;
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
