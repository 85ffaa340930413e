#include "tracker_input.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pitchtrack {
namespace {

// The interpolator. Each output sample is a weighted sum of the input samples
// around its instant, the weights a sinc low-pass filter shaped by a Kaiser
// window and looked up in a table precomputed for the rate.
//
// Cut-off: 0.9 of the lower of the two Nyquist frequencies (19.8 kHz when
// converting 48000 Hz down). The tracker follows voices whose fundamentals
// lie far below that; what matters is that the waveform it marks extrema in
// keeps its shape, so the pass band reaches well past any harmonic that
// carries weight, and the transition band lies where voices have little
// energy left.
//
// Taps: the sinc is cut after kZeroCrossings of its zero crossings on each
// side (about 2 * 16 / 0.9 = 36 input samples at 44100 Hz, 39 at 48000 Hz).
// With the Kaiser window of kKaiserBeta its side lobes stay below about -80 dB,
// far under anything that could move an extremum of the waveform.
//
// Phases: the instant of an output sample falls between two input samples;
// the table holds kPhases rows, one per 1/kPhases of a sample, and the
// nearest row is used. The timing error of at most 1/(2 * kPhases) of a
// sample is a phase jitter about 80 dB below a 1 kHz tone: no pitch moves by
// it, and the table stays small enough to sit in the processor's cache.
constexpr double kCutoff = 0.9;
constexpr int kZeroCrossings = 16;
constexpr double kKaiserBeta = 8.0;
constexpr int kPhases = 512;

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
    const double a = M_PI * x;
    return std::sin(a) / a;
}

// Drops the first `count` elements, keeping the rest in place.
void dropFront(std::vector<double> &v, std::size_t count) {
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(count));
}

} // namespace

void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono) {
    if (channels == 1) {
        std::copy(interleaved, interleaved + frames, mono);
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

Resampler::Resampler(double rate) : step_(rate / kTrackerRate), phases_(kPhases) {
    // The cut-off in cycles per input sample, and the window's half-width in
    // input samples: kZeroCrossings zero crossings of the sinc.
    const double cutoff = kCutoff * 0.5 * std::min(1.0, 1.0 / step_);
    const double width = kZeroCrossings / (2.0 * cutoff);
    half_ = static_cast<int>(std::ceil(width));
    const int taps = 2 * half_;
    table_.resize(static_cast<std::size_t>(phases_ + 1) * static_cast<std::size_t>(taps));
    const double norm = besselI0(kKaiserBeta);
    for (int p = 0; p <= phases_; ++p) {
        double *row = &table_[static_cast<std::size_t>(p) * static_cast<std::size_t>(taps)];
        const double fraction = static_cast<double>(p) / phases_;
        double sum = 0.0;
        for (int k = 0; k < taps; ++k) {
            // Tap k weighs the input sample half_ - 1 - k before the sample
            // at or before the instant.
            const double d = fraction + half_ - 1 - k;
            const double r = d / width;
            const double w =
                std::fabs(r) < 1.0 ? besselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / norm : 0.0;
            row[k] = sinc(2.0 * cutoff * d) * w;
            sum += row[k];
        }
        // Each row sums to 1, so a constant signal passes unchanged.
        for (int k = 0; k < taps; ++k)
            row[k] /= sum;
    }
    // The signal before its first sample is silence.
    input_.assign(static_cast<std::size_t>(half_), 0.0);
    base_ = -half_;
}

void Resampler::push(const double *in, std::size_t count, std::vector<double> &out) {
    input_.insert(input_.end(), in, in + count);
    received_ += static_cast<long long>(count);
    produce(false, out);
}

void Resampler::finish(std::vector<double> &out) {
    // Silence after the last sample, enough for the last output's taps.
    input_.insert(input_.end(), static_cast<std::size_t>(half_) + 1, 0.0);
    produce(true, out);
    input_.assign(static_cast<std::size_t>(half_), 0.0);
    base_ = -half_;
    received_ = 0;
    produced_ = 0;
}

void Resampler::produce(bool atEnd, std::vector<double> &out) {
    const int taps = 2 * half_;
    const long long available = base_ + static_cast<long long>(input_.size());
    for (;; ++produced_) {
        // Computed from the count each time, so no rounding accumulates.
        const double instant = static_cast<double>(produced_) * step_;
        if (atEnd ? instant >= static_cast<double>(received_) : false)
            break;
        const double whole = std::floor(instant);
        const long long i = static_cast<long long>(whole);
        if (i + half_ >= available)
            break;
        const long long p = std::lround((instant - whole) * phases_);
        const double *row = &table_[static_cast<std::size_t>(p) * static_cast<std::size_t>(taps)];
        const double *s = &input_[static_cast<std::size_t>(i - half_ + 1 - base_)];
        // Four running sums let the processor overlap the multiplications.
        double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
        int k = 0;
        for (; k + 4 <= taps; k += 4) {
            a += row[k] * s[k];
            b += row[k + 1] * s[k + 1];
            c += row[k + 2] * s[k + 2];
            d += row[k + 3] * s[k + 3];
        }
        for (; k < taps; ++k)
            a += row[k] * s[k];
        out.push_back((a + b) + (c + d));
    }
    // Keep only what the next output's taps reach back to.
    const long long first =
        static_cast<long long>(std::floor(static_cast<double>(produced_) * step_)) - half_ + 1;
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
