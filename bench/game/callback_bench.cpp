// The audio callback per 512-frame block (11.6 ms of audio at 44100 Hz), on
// varied sung material: held notes with vibrato, octave slips, breath noise
// and silent gaps. Listening with the tone on and off, the tone alone, idle,
// and the tracker run in full at every frame for comparison. Each iteration
// is one block; the blocks of the material follow one another.
//
// Each benchmark also runs the estimator over every block of the material,
// between its own passes through it, on the thread's CPU clock, and gives
// its cost per block in estimator calls: a ratio taken in the same run, which
// a loaded machine disturbs far less than the times themselves.
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include <game/audio.h>
#include <game/state.h>

#include "dywapitch_internal.h"
#include "sung_signals.h"

namespace {

constexpr unsigned kFrames = 512;
constexpr unsigned kBlocks = 256; // about 3 s of singing

const std::vector<double> &material() {
    static const std::vector<double> phrase = testsignal::sungPhrase(kBlocks, kFrames);
    return phrase;
}

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double estimatorPass(const std::vector<double> &in) {
    const double start = threadSeconds();
    for (unsigned b = 0; b < kBlocks; ++b)
        benchmark::DoNotOptimize(
            _dywapitch_computeWaveletPitch(in.data() + b * kFrames, 0, static_cast<int>(kFrames)));
    return threadSeconds() - start;
}

// Runs block(in, out) once per iteration over the blocks of the material in
// turn, and reports the cost per block in estimator calls and against real
// time (x_realtime 100 means a block costs 1% of its period). The estimator
// runs over the whole material before the loop and again, with the timing
// paused, each time the loop has been through it.
template <class Block> void measure(benchmark::State &state, Block block) {
    const std::vector<double> &in = material();
    std::vector<double> out(kFrames);
    double estimatorSeconds = estimatorPass(in), pausedSeconds = 0.0;
    int passes = 1;
    unsigned b = 0;
    const double start = threadSeconds();
    for (auto _ : state) {
        block(in.data() + b * kFrames, out);
        if (++b == kBlocks) {
            b = 0;
            state.PauseTiming();
            const double seconds = estimatorPass(in);
            estimatorSeconds += seconds;
            pausedSeconds += seconds;
            ++passes;
            state.ResumeTiming();
        }
    }
    const double blockSeconds =
        (threadSeconds() - start - pausedSeconds) / static_cast<double>(state.iterations());
    const double estimator = estimatorSeconds / (static_cast<double>(passes) * kBlocks);
    state.counters["estimator_calls"] = blockSeconds / estimator;
    state.counters["estimator_us"] = 1e6 * estimator;
    state.counters["x_realtime"] = kFrames / 44100.0 / blockSeconds;
}

void runCallback(benchmark::State &state, bool tone, bool listen) {
    dywapitch_inittracking(&pitchtracker);
    gen_sine = tone;
    pitch_listen = listen;
    measure(state, [](const double *in, std::vector<double> &out) {
        audioCallback(out.data(), const_cast<double *>(in), kFrames, 0.0, 0, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    });
    gen_sine = false;
    pitch_listen = false;
}

void BM_CallbackListening(benchmark::State &state) {
    runCallback(state, true, true);
}

void BM_CallbackListeningNoTone(benchmark::State &state) {
    runCallback(state, false, true);
}

void BM_CallbackToneOnly(benchmark::State &state) {
    runCallback(state, true, false);
}

void BM_CallbackIdle(benchmark::State &state) {
    runCallback(state, false, false);
}

// The tracker over the whole block at every frame, as the plain per-frame
// callback would run it.
void BM_PerFrameTracking(benchmark::State &state) {
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    measure(state, [&tracker](const double *in, std::vector<double> &) {
        for (unsigned i = 0; i < kFrames; ++i) {
            const double p = dywapitch_computepitch(&tracker, in, 0, static_cast<int>(kFrames));
            if (p != 0.0)
                pitchArray[i].store(p, std::memory_order_relaxed);
        }
        benchmark::ClobberMemory();
    });
}

} // namespace

BENCHMARK(BM_CallbackListening)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackListeningNoTone)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackToneOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PerFrameTracking)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
