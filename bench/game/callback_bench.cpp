// The audio callback per 512-frame block (11.6 ms of audio at 44100 Hz):
// listening, idle, and the tracker run in full at every frame for comparison.
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include <game/audio.h>
#include <game/state.h>

namespace {

constexpr unsigned kFrames = 512;

// Blocks of audio computed per block of wall time: 100 means a block costs 1%
// of its period, the budget the callback must stay within while listening.
void reportRealTime(benchmark::State &state) {
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kFrames / 44100.0, benchmark::Counter::kIsRate);
}

std::vector<double> sungBlock() {
    std::vector<double> in(kFrames);
    const double w = 2.0 * M_PI * 220.0 / 44100.0;
    for (unsigned i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i);
        in[i] = 0.5 * std::sin(w * t) + 0.25 * std::sin(2.0 * w * t) + 0.1 * std::sin(3.0 * w * t);
    }
    return in;
}

void runCallback(benchmark::State &state, bool tone, bool listen) {
    std::vector<double> in = sungBlock(), out(kFrames);
    dywapitch_inittracking(&pitchtracker);
    gen_sine = tone;
    pitch_listen = listen;
    for (auto _ : state) {
        audioCallback(out.data(), in.data(), kFrames, 0.0, 0, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    reportRealTime(state);
    gen_sine = false;
    pitch_listen = false;
}

void BM_CallbackListening(benchmark::State &state) {
    runCallback(state, true, true);
}

void BM_CallbackIdle(benchmark::State &state) {
    runCallback(state, false, false);
}

void BM_CallbackToneOnly(benchmark::State &state) {
    runCallback(state, true, false);
}

// The tracker over the whole block at every frame, as a per-frame callback
// would run it.
void BM_PerFrameTracking(benchmark::State &state) {
    std::vector<double> in = sungBlock();
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    for (auto _ : state) {
        for (unsigned i = 0; i < kFrames; ++i) {
            const double p = dywapitch_computepitch(&tracker, in.data(), 0, kFrames);
            if (p != 0.0)
                pitchArray[i].store(p, std::memory_order_relaxed);
        }
        benchmark::ClobberMemory();
    }
    reportRealTime(state);
}

} // namespace

BENCHMARK(BM_CallbackListening)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackToneOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PerFrameTracking)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
