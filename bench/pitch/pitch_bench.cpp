// Time per window of the estimator and of dywapitch_computepitch, and of
// aubio's yin and yinfast methods on the same windows. Every benchmark cycles
// through one set of 64 voice-like windows (130 to 1000 Hz, harmonics, noise)
// so that no branch pattern or cache state is learnt from a single window.
//
//   pitch_bench --benchmark_filter=512   the figures at the game's block size
#include "dywapitch_internal.h"
#include "reference_estimator.h"
#include "signals.h"

#include <aubio/aubio.h>
#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWindows = 64;

const std::vector<std::vector<double>> &windowsOf(int size) {
    static std::vector<std::vector<double>> sets[3];
    auto &set = sets[size == 512 ? 0 : size == 1024 ? 1 : 2];
    if (set.empty()) {
        std::mt19937 rng(99);
        for (int w = 0; w < kWindows; ++w) {
            const double hz = 130.0 * std::pow(1000.0 / 130.0, w / double(kWindows - 1));
            auto x = signals::harmonics(hz, size, {0.6, 0.4, 0.25, 0.1}, 0.1 * w);
            signals::addNoise(x, 0.02, rng);
            set.push_back(std::move(x));
        }
    }
    return set;
}

void sizes(benchmark::internal::Benchmark *b) {
    b->Arg(512)->Arg(1024)->Arg(2048);
}

void BM_Estimator(benchmark::State &state) {
    const int size = static_cast<int>(state.range(0));
    const auto &windows = windowsOf(size);
    int w = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(_dywapitch_computeWaveletPitch(windows[w].data(), 0, size));
        w = (w + 1) % kWindows;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Estimator)->Apply(sizes);

// The plain transcription kept in the tests, for the size of the saving.
void BM_PlainEstimator(benchmark::State &state) {
    const int size = static_cast<int>(state.range(0));
    const auto &windows = windowsOf(size);
    int w = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::waveletPitch(windows[w].data(), 0, size));
        w = (w + 1) % kWindows;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainEstimator)->Apply(sizes);

void BM_ComputePitch(benchmark::State &state) {
    const int size = static_cast<int>(state.range(0));
    const auto &windows = windowsOf(size);
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    int w = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dywapitch_computepitch(&tracker, windows[w].data(), 0, size));
        w = (w + 1) % kWindows;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComputePitch)->Apply(sizes);

// What the audio callback does for one 512-frame block of 11.6 ms: the
// tracker run once per frame over the whole block.
void BM_GameBlock(benchmark::State &state) {
    const auto &windows = windowsOf(512);
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    int w = 0;
    for (auto _ : state) {
        for (int frame = 0; frame < 512; ++frame)
            benchmark::DoNotOptimize(dywapitch_computepitch(&tracker, windows[w].data(), 0, 512));
        w = (w + 1) % kWindows;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GameBlock)->Unit(benchmark::kMicrosecond);

// aubio's single-precision pitch object with buffer and hop both the window
// size, so that each call examines exactly one window.
void aubioMethod(benchmark::State &state, const char *method) {
    const int size = static_cast<int>(state.range(0));
    const auto &windows = windowsOf(size);
    const auto n = static_cast<uint_t>(size);
    aubio_pitch_t *pitch = new_aubio_pitch(method, n, n, 44100);
    std::vector<fvec_t *> inputs;
    for (const auto &x : windows) {
        fvec_t *v = new_fvec(n);
        for (int i = 0; i < size; ++i)
            v->data[i] = static_cast<smpl_t>(x[i]);
        inputs.push_back(v);
    }
    fvec_t *out = new_fvec(1);
    int w = 0;
    for (auto _ : state) {
        aubio_pitch_do(pitch, inputs[w], out);
        benchmark::DoNotOptimize(out->data[0]);
        w = (w + 1) % kWindows;
    }
    state.SetItemsProcessed(state.iterations());
    for (fvec_t *v : inputs)
        del_fvec(v);
    del_fvec(out);
    del_aubio_pitch(pitch);
}

void BM_AubioYin(benchmark::State &state) {
    aubioMethod(state, "yin");
}
void BM_AubioYinFast(benchmark::State &state) {
    aubioMethod(state, "yinfast");
}
BENCHMARK(BM_AubioYin)->Apply(sizes);
BENCHMARK(BM_AubioYinFast)->Apply(sizes);

} // namespace
