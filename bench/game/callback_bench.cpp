// The audio callback per 512-frame block (11.6 ms of audio at 44100 Hz), on
// varied sung material: held notes with vibrato, octave slips, breath noise
// and silent gaps. Listening with the tone on and off, the tone alone, idle,
// and the tracker run in full at every frame for comparison.
//
// Each round runs the callback over the whole material and then the
// estimator once over every block of it, both timed on the thread's CPU
// clock, so that the cost is also given in estimator calls per block:
// a ratio taken in the same round, which a loaded machine disturbs far less
// than the times themselves.
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include <game/audio.h>
#include <game/state.h>

#include "dywapitch_internal.h"
#include "signals.h"

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

// Runs pass(in, out) over the material once per round and reports its cost
// per block in microseconds, in estimator calls and against real time
// (x_realtime 100 means a block costs 1% of its period).
template <class Pass> void measure(benchmark::State &state, Pass pass) {
    const std::vector<double> &in = material();
    std::vector<double> out(kFrames);
    double passSeconds = 0.0, estimatorSeconds = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        pass(in, out);
        const double seconds = threadSeconds() - start;
        state.SetIterationTime(seconds);
        passSeconds += seconds;
        estimatorSeconds += estimatorPass(in);
    }
    const double blocks = static_cast<double>(state.iterations()) * kBlocks;
    state.counters["us_per_block"] = 1e6 * passSeconds / blocks;
    state.counters["estimator_calls"] = passSeconds / estimatorSeconds;
    state.counters["x_realtime"] = blocks * kFrames / 44100.0 / passSeconds;
}

void runCallback(benchmark::State &state, bool tone, bool listen) {
    dywapitch_inittracking(&pitchtracker);
    gen_sine = tone;
    pitch_listen = listen;
    measure(state, [](const std::vector<double> &in, std::vector<double> &out) {
        for (unsigned b = 0; b < kBlocks; ++b) {
            audioCallback(out.data(), const_cast<double *>(in.data() + b * kFrames), kFrames, 0.0,
                          0, nullptr);
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
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
    measure(state, [&tracker](const std::vector<double> &in, std::vector<double> &) {
        for (unsigned b = 0; b < kBlocks; ++b) {
            for (unsigned i = 0; i < kFrames; ++i) {
                const double p = dywapitch_computepitch(&tracker, in.data() + b * kFrames, 0,
                                                        static_cast<int>(kFrames));
                if (p != 0.0)
                    pitchArray[i].store(p, std::memory_order_relaxed);
            }
            benchmark::ClobberMemory();
        }
    });
}

} // namespace

BENCHMARK(BM_CallbackListening)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackListeningNoTone)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackToneOnly)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackIdle)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PerFrameTracking)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
