// Time per window of the estimator and of dywapitch_computepitch, and of
// aubio's yin and yinfast methods on the same windows. Every benchmark cycles
// through one set of 64 voice-like windows (130 to 1000 Hz, harmonics, noise)
// so that no branch pattern or cache state is learnt from a single window.
// At the game's 512 samples two more measure, each round, on the thread's
// CPU clock, so that their ratios come from the same moments of a machine
// that may be busy with other work:
//   BM_VersusYinFast   the estimator and yinfast on the same harmonic tones
//                      from 110 to 1000 Hz with a little noise;
//   BM_WindowClasses   the estimator per class of window (C2 to C6, noise,
//                      silence, clipped tones) and the slowest class against
//                      the median one.
//
//   pitch_bench --benchmark_filter=512   the figures at the game's block size
#include "dywapitch_internal.h"
#include "reference_estimator.h"
#include "signals.h"

#include <aubio/aubio.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <string>
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

// The reference implementation kept for the tests, for the size of the saving.
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

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// A tone of a few harmonics in random proportions and phase, with a little
// noise, as a voice or an instrument might give it.
std::vector<double> toneWindow(double hz, std::mt19937 &rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto x = signals::harmonics(
        hz, 512, {0.4 + 0.4 * unit(rng), 0.5 * unit(rng), 0.3 * unit(rng), 0.15 * unit(rng)},
        2.0 * signals::kPi * unit(rng));
    signals::addNoise(x, 0.02, rng);
    return x;
}

constexpr int kPerClass = 48;

// The estimator against yinfast on 512-sample windows of tones spread
// evenly in pitch from 110 to 1000 Hz.
void BM_VersusYinFast(benchmark::State &state) {
    std::mt19937 rng(110);
    std::vector<std::vector<double>> windows;
    for (int w = 0; w < 96; ++w)
        windows.push_back(toneWindow(110.0 * std::pow(1000.0 / 110.0, w / 95.0), rng));
    aubio_pitch_t *pitch = new_aubio_pitch("yinfast", 512, 512, 44100);
    std::vector<fvec_t *> inputs;
    for (const auto &x : windows) {
        fvec_t *v = new_fvec(512);
        for (int i = 0; i < 512; ++i)
            v->data[i] = static_cast<smpl_t>(x[i]);
        inputs.push_back(v);
    }
    fvec_t *out = new_fvec(1);
    double ours = 0.0, theirs = 0.0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        for (const auto &x : windows)
            benchmark::DoNotOptimize(_dywapitch_computeWaveletPitch(x.data(), 0, 512));
        const double t1 = threadSeconds();
        for (fvec_t *v : inputs) {
            aubio_pitch_do(pitch, v, out);
            benchmark::DoNotOptimize(out->data[0]);
        }
        const double t2 = threadSeconds();
        ours += t1 - t0;
        theirs += t2 - t1;
        state.SetIterationTime(t1 - t0);
    }
    const double calls = static_cast<double>(state.iterations()) * windows.size();
    state.counters["ns_per_window"] = 1e9 * ours / calls;
    state.counters["yinfast_ns"] = 1e9 * theirs / calls;
    state.counters["times_faster"] = theirs / ours;
    for (fvec_t *v : inputs)
        del_fvec(v);
    del_fvec(out);
    del_aubio_pitch(pitch);
}
BENCHMARK(BM_VersusYinFast)->UseManualTime()->Unit(benchmark::kMicrosecond);

struct WindowClass {
    const char *name;
    std::vector<std::vector<double>> windows;
};

std::vector<WindowClass> windowClasses() {
    std::mt19937 rng(14);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<WindowClass> classes;
    const char *notes[] = {"C2", "C3", "C4", "C5", "C6"};
    for (int octave = 0; octave < 5; ++octave) {
        WindowClass c{notes[octave], {}};
        // Within a quarter tone of the note.
        const double hz = 65.40639132514966 * std::pow(2.0, octave);
        for (int w = 0; w < kPerClass; ++w)
            c.windows.push_back(toneWindow(hz * std::pow(2.0, (unit(rng) - 0.5) / 24.0), rng));
        classes.push_back(std::move(c));
    }
    WindowClass noise{"noise", {}}, silence{"silence", {}}, clipped{"clipped", {}};
    std::normal_distribution<double> gauss(0.0, 0.3);
    for (int w = 0; w < kPerClass; ++w) {
        std::vector<double> x(512);
        for (double &v : x)
            v = gauss(rng);
        noise.windows.push_back(std::move(x));
        silence.windows.emplace_back(512, 0.0);
        // Driven well past full scale, from 110 to 1000 Hz.
        auto tone = toneWindow(110.0 * std::pow(1000.0 / 110.0, unit(rng)), rng);
        for (double &v : tone)
            v *= 4.0;
        signals::clip(tone, 1.0);
        clipped.windows.push_back(std::move(tone));
    }
    classes.push_back(std::move(noise));
    classes.push_back(std::move(silence));
    classes.push_back(std::move(clipped));
    return classes;
}

// Each round runs every class once; a class's windows run back to back.
void BM_WindowClasses(benchmark::State &state) {
    const std::vector<WindowClass> classes = windowClasses();
    std::vector<double> seconds(classes.size(), 0.0);
    for (auto _ : state) {
        double round = 0.0;
        for (std::size_t c = 0; c < classes.size(); ++c) {
            const double t0 = threadSeconds();
            for (const auto &x : classes[c].windows)
                benchmark::DoNotOptimize(_dywapitch_computeWaveletPitch(x.data(), 0, 512));
            const double t = threadSeconds() - t0;
            seconds[c] += t;
            round += t;
        }
        state.SetIterationTime(round);
    }
    const double calls = static_cast<double>(state.iterations()) * kPerClass;
    std::vector<double> ns;
    for (std::size_t c = 0; c < classes.size(); ++c) {
        ns.push_back(1e9 * seconds[c] / calls);
        state.counters[std::string(classes[c].name) + "_ns"] = ns.back();
    }
    std::sort(ns.begin(), ns.end());
    const std::size_t half = ns.size() / 2;
    const double median = ns.size() % 2 ? ns[half] : 0.5 * (ns[half - 1] + ns[half]);
    state.counters["slowest_over_median"] = ns.back() / median;
}
BENCHMARK(BM_WindowClasses)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
