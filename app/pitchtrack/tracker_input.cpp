#include "tracker_input.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#if defined(__GNUC__)
#define ALWAYS_INLINE __attribute__((always_inline))
#else
#define ALWAYS_INLINE
#endif

namespace pitchtrack {
namespace {

// The resampler. Each output sample is a weighted sum of the input samples
// around its instant: a sinc low-pass filter shaped by a Kaiser window,
// looked up in a table precomputed for the rate.
//
// Cut-off: 0.92 of the lower of the two Nyquist frequencies (20.3 kHz when
// 48000 Hz comes down to 44100 Hz). The tracker follows fundamentals far
// below that, but it marks the extrema of the whole waveform, so the pass
// band keeps every harmonic that shapes it, and the transition band lies
// where voices have little energy left.
//
// Taps: the sinc is cut after kZeroCrossings of its zero crossings on each
// side, 38 input samples at 48000 Hz (rounded up to 40, whole lanes), with a
// Kaiser window of kKaiserBeta, whose side lobes lie about 90 dB down.
//
// These three were chosen by measurement (bench/pitchtrack): on the
// datasheet's singer the tracker then gives the very pitches of
// libsamplerate's best converter in every window, and over C2 to C7 in
// semitones all but one window of 6005, which moves by 5 cents (libsoxr's
// best and libsamplerate's medium converter move one by 4.8 and 2.6). The
// tracker magnifies small differences in such knife-edge windows: a cut-off
// of 0.9 with a window of 8 moved one by 106 cents.
//
// Phases: the instant of an output sample falls between two input samples.
// An integer rate puts every instant on one of 44100 / gcd(rate, 44100)
// fractions of a sample (147 for 48000 Hz), and the table has a row for each:
// the conversion is then exact. Other rates take the nearest of kPhases
// rows; the timing error of 1/8192 of a sample at most lies over 90 dB
// below a 1 kHz tone (512 rows moved single windows by 2 cents).
//
// Precision: the table and the buffered input are single precision, as in
// the usual converters. Rounding stays about 140 dB down, and a vector
// register holds twice the taps.
constexpr double kCutoff = 0.92;
constexpr int kZeroCrossings = 16;
constexpr double kKaiserBeta = 9.0;
constexpr int kPhases = 4096;

// The most weights a table holds (16 MiB).
constexpr int kMaxTable = 1 << 22;

// Conversions further than this from 44100 Hz are refused: the table would
// grow past reason, and no recording has such rates.
constexpr double kMaxRatio = 256.0;

// The zeroth-order modified Bessel function of the first kind, by its power
// series (ample for the window's arguments, which stay below 10).
double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double quarter = x * x / 4.0;
    for (int k = 1; k < 50 && term > sum * 1e-17; ++k) {
        term *= quarter / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

double sinc(double x) {
    if (x == 0.0)
        return 1.0;
    const double a = 3.14159265358979323846 * x;
    return std::sin(a) / a;
}

// Drops the first `count` elements, keeping the rest in place.
template <typename T> void dropFront(std::vector<T> &v, std::size_t count) {
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(count));
}

// Rows of the table for a rate (see above).
int phasesFor(double rate) {
    if (rate == std::floor(rate) && rate < 1e9) {
        const long long whole = static_cast<long long>(rate);
        const long long exact =
            kTrackerRate / std::gcd(whole, static_cast<long long>(kTrackerRate));
        if (exact <= kPhases)
            return static_cast<int>(exact);
    }
    return kPhases;
}

// Sums kept side by side: the taps of a row come in whole lanes.
constexpr int kLanes = 8;

// What a run of outputs reads: the table and the buffered input.
struct Run {
    const float *table;
    int taps, half, phases;
    double step;
    const float *input;
    long long base;      // input index of input[0]
    long long available; // input index past the last buffered sample
    double last;         // no output past this input instant
};

// Where the taps of output n begin in the buffered input, and the row that
// weighs them; false when the buffered input does not reach its last tap, or
// the instant lies past the last input sample, once the input has ended.
ALWAYS_INLINE inline bool locate(const Run &r, long long n, const float *&row, const float *&s) {
    // Computed from the count each time, so no rounding accumulates.
    const double instant = static_cast<double>(n) * r.step;
    // The instant is never negative, so truncation is the floor.
    const auto whole = static_cast<long long>(instant);
    const long long first = whole - r.half + 1;
    if (instant > r.last || first + r.taps > r.available)
        return false;
    const auto p =
        static_cast<std::size_t>((instant - static_cast<double>(whole)) * r.phases + 0.5);
    row = r.table + p * static_cast<std::size_t>(r.taps);
    s = r.input + (first - r.base);
    return true;
}

// Writes output n and those after it that the buffered input completes to
// out[0 ..]; returns the number of the first output not written.
long long convolve(const Run &r, long long n, double *out) {
    for (const float *row, *s; locate(r, n, row, s); ++n, ++out) {
        // kLanes running sums, one per lane: independent of each other, so
        // the compiler keeps them side by side in vector registers. The
        // order of the additions is fixed, and the same below with AVX: every
        // processor gives the same bits.
        float sums[kLanes] = {};
        for (int k = 0; k < r.taps; k += kLanes)
            for (int j = 0; j < kLanes; ++j)
                sums[j] += row[k + j] * s[k + j];
        for (int j = 0; j < kLanes / 2; ++j)
            sums[j] += sums[j + kLanes / 2];
        *out = static_cast<double>((sums[0] + sums[2]) + (sums[1] + sums[3]));
    }
    return n;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same with the eight lanes in one register, on processors that have
// AVX, and folded there.
__attribute__((target("avx"))) long long convolveAvx(const Run &r, long long n, double *out) {
    static_assert(kLanes == 8, "one AVX register of floats");
    for (const float *row, *s; locate(r, n, row, s); ++n, ++out) {
        __m256 sums = _mm256_setzero_ps();
        for (int k = 0; k < r.taps; k += kLanes)
            sums = _mm256_add_ps(sums,
                                 _mm256_mul_ps(_mm256_loadu_ps(row + k), _mm256_loadu_ps(s + k)));
        // Lane j plus lane j + 4, then (0 + 2) + (1 + 3).
        const __m128 half =
            _mm_add_ps(_mm256_castps256_ps128(sums), _mm256_extractf128_ps(sums, 1));
        const __m128 pairs = _mm_add_ps(half, _mm_movehl_ps(half, half));
        const __m128 total = _mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1));
        *out = static_cast<double>(_mm_cvtss_f32(total));
    }
    return n;
}

long long convolveFastest(const Run &r, long long n, double *out) {
    static const bool avx = __builtin_cpu_supports("avx");
    return avx ? convolveAvx(r, n, out) : convolve(r, n, out);
}
#else
long long convolveFastest(const Run &r, long long n, double *out) {
    return convolve(r, n, out);
}
#endif

} // namespace

void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono) {
    if (channels == 1) {
        std::copy(interleaved, interleaved + frames, mono);
        return;
    }
    if (channels == 2) {
        // Halving is exact, so this is the division below, only faster.
        for (std::size_t i = 0; i < frames; ++i)
            mono[i] = (interleaved[2 * i] + interleaved[2 * i + 1]) * 0.5;
        return;
    }
    const std::size_t width = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < width; ++c)
            sum += interleaved[i * width + c];
        mono[i] = sum / channels;
    }
}

Resampler::Resampler(double rate) : step_(rate / kTrackerRate), phases_(phasesFor(rate)) {
    // The cut-off in cycles per input sample, and the window's half-width in
    // input samples: kZeroCrossings zero crossings of the sinc.
    const double cutoff = kCutoff * 0.5 * std::min(1.0, 1.0 / step_);
    const double width = kZeroCrossings / (2.0 * cutoff);
    half_ = static_cast<int>(std::ceil(width));
    // Rounded up to whole lanes; the taps past 2 * half_ weigh nothing.
    taps_ = (2 * half_ + kLanes - 1) / kLanes * kLanes;
    // Rates far above 44100 Hz need long rows; fewer of them keep the table
    // within bounds (a coarser timing only for rates no recording has).
    phases_ = std::max(1, std::min(phases_, kMaxTable / taps_ - 1));
    table_.resize(static_cast<std::size_t>(phases_ + 1) * static_cast<std::size_t>(taps_));
    const double norm = besselI0(kKaiserBeta);
    std::vector<double> weights(static_cast<std::size_t>(taps_));
    for (int p = 0; p <= phases_; ++p) {
        const double fraction = static_cast<double>(p) / phases_;
        double sum = 0.0;
        for (int k = 0; k < taps_; ++k) {
            // Tap k weighs the input sample half_ - 1 - k before the sample
            // at or before the instant.
            const double d = fraction + half_ - 1 - k;
            const double r = d / width;
            const double w =
                std::fabs(r) < 1.0 ? besselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / norm : 0.0;
            weights[static_cast<std::size_t>(k)] = sinc(2.0 * cutoff * d) * w;
            sum += weights[static_cast<std::size_t>(k)];
        }
        // Each row sums to 1, so a constant signal passes unchanged.
        Tap *row = &table_[static_cast<std::size_t>(p) * static_cast<std::size_t>(taps_)];
        for (int k = 0; k < taps_; ++k)
            row[k] = static_cast<Tap>(weights[static_cast<std::size_t>(k)] / sum);
    }
    restart();
}

void Resampler::restart() {
    // The signal before its first sample is silence.
    input_.assign(static_cast<std::size_t>(half_), 0);
    base_ = -half_;
    received_ = 0;
    produced_ = 0;
}

void Resampler::push(const double *in, std::size_t count, std::vector<double> &out) {
    input_.insert(input_.end(), in, in + count);
    received_ += static_cast<long long>(count);
    produce(false, out);
}

void Resampler::finish(std::vector<double> &out) {
    // Silence after the last sample, enough for the last output's taps.
    input_.insert(input_.end(), static_cast<std::size_t>(taps_), 0);
    produce(true, out);
    restart();
}

void Resampler::produce(bool atEnd, std::vector<double> &out) {
    const Run run{table_.data(),
                  taps_,
                  half_,
                  phases_,
                  step_,
                  input_.data(),
                  base_,
                  base_ + static_cast<long long>(input_.size()),
                  atEnd ? static_cast<double>(received_ - 1) : HUGE_VAL};
    // At most one output per input step of the buffered samples, and one more.
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(static_cast<double>(input_.size()) / step_) + 2);
    const long long n = convolveFastest(run, produced_, out.data() + before);
    out.resize(before + static_cast<std::size_t>(n - produced_));
    produced_ = n;
    // Keep only what the next output's taps reach back to.
    const long long first = static_cast<long long>(static_cast<double>(n) * step_) - half_ + 1;
    const long long unused = std::min(first - base_, static_cast<long long>(input_.size()));
    if (unused > 0 && static_cast<std::size_t>(unused) * 2 > input_.size()) {
        dropFront(input_, static_cast<std::size_t>(unused));
        base_ += unused;
    }
}

std::string TrackerStream::check(double rate, int channels, int window, long long hop) {
    if (!(rate > 0.0) || !std::isfinite(rate))
        return "cannot resample from a rate that is not a positive number";
    const double ratio = rate / kTrackerRate;
    if (ratio > kMaxRatio || ratio < 1.0 / kMaxRatio)
        return "cannot resample: the rate is more than 256 times from 44100 Hz";
    if (channels < 1)
        return "needs at least one channel";
    if (window < 4 || window > (1 << 20) || (window & (window - 1)) != 0)
        return "the window must be a power of two from 4 to 1048576";
    if (hop < 1)
        return "the hop must be at least 1";
    return "";
}

TrackerStream::TrackerStream(double rate, int channels, int window, long long hop)
    : channels_(channels), window_(window), hop_(hop), convert_(rate != kTrackerRate),
      resampler_(convert_ ? rate : 2.0 * kTrackerRate) {
    dywapitch_inittracking(&record_);
}

void TrackerStream::push(const double *interleaved, std::size_t frames,
                         std::vector<WindowPitch> &out) {
    const double *mono = interleaved;
    if (channels_ > 1) {
        mixed_.resize(frames);
        mixToMono(interleaved, frames, channels_, mixed_.data());
        mono = mixed_.data();
    }
    if (!convert_) {
        track(mono, frames, out);
        return;
    }
    converted_.clear();
    resampler_.push(mono, frames, converted_);
    track(converted_.data(), converted_.size(), out);
}

void TrackerStream::finish(std::vector<WindowPitch> &out) {
    if (!convert_)
        return;
    converted_.clear();
    resampler_.finish(converted_);
    track(converted_.data(), converted_.size(), out);
}

void TrackerStream::trackWindows(const double *samples, long long from, long long to,
                                 std::vector<WindowPitch> &out) {
    // Windows from next_ on that end by `to`; samples[0] is sample `from`.
    while (next_ <= to - window_) {
        const double pitch = dywapitch_computepitch(&record_, samples + (next_ - from), 0, window_);
        // The record's confidence runs from -1 (fresh) to 5 (fully trusted).
        const int confidence = std::max(record_._confidence, 0);
        out.push_back({static_cast<double>(next_) / kTrackerRate, pitch, confidence / 5.0});
        // A hop beyond the longest recording leaves no further window.
        next_ = hop_ > std::numeric_limits<long long>::max() - next_
                    ? std::numeric_limits<long long>::max()
                    : next_ + hop_;
    }
}

void TrackerStream::track(const double *mono, std::size_t count, std::vector<WindowPitch> &out) {
    const long long end = total_ + static_cast<long long>(count);
    std::size_t used = 0;
    if (!held_.empty()) {
        // Windows that begin in the held samples: they reach at most one
        // window into the new ones.
        used = std::min(count, static_cast<std::size_t>(window_));
        held_.insert(held_.end(), mono, mono + used);
        const long long heldEnd = heldFrom_ + static_cast<long long>(held_.size());
        trackWindows(held_.data(), heldFrom_, std::min(heldEnd, total_ + window_ - 1), out);
        if (next_ < total_) {
            // Still waiting for samples: the block was shorter than a window.
            held_.insert(held_.end(), mono + used, mono + count);
            total_ = end;
            dropUnused();
            return;
        }
        held_.clear();
    }
    // The rest are read in place, and the samples of windows to come kept.
    trackWindows(mono, total_, end, out);
    const long long keep = std::max(next_, total_);
    if (keep < end) {
        heldFrom_ = keep;
        held_.assign(mono + (keep - total_), mono + count);
    }
    total_ = end;
}

void TrackerStream::dropUnused() {
    // Only once the unused part is at least half the buffer, so that each
    // sample is moved a bounded number of times.
    const long long unused = std::min(next_ - heldFrom_, static_cast<long long>(held_.size()));
    if (unused > 0 && static_cast<std::size_t>(unused) * 2 >= held_.size()) {
        dropFront(held_, static_cast<std::size_t>(unused));
        heldFrom_ += unused;
    }
}

} // namespace pitchtrack
