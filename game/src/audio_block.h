// The body of the audio callback, written once over a source of per-frame
// control values so that the live callback and the tests that script
// mid-block changes run the very same code.
#pragma once

#include <climits>
#include <cmath>

#include "dywapitch_internal.h"
#include "game/state.h"

namespace arrowsong::detail {

// Not 2*pi (6.283185307179586): the tone has always been generated with this
// constant, and its exact samples are part of what the game plays.
constexpr double kToneK = 6.283185307379586;
constexpr double kSampleRate = 44100.0;

// The wavelet estimate of a block is a pure function of the block, so it is
// computed once, at the first frame that listens, while the tracking stage,
// whose history advances with every call, still runs at every listening
// frame. Together this gives exactly what dywapitch_computepitch would give
// if it were called at every frame over the whole block.
class BlockEstimate {
  public:
    BlockEstimate(const double *samples, int first, int count)
        : samples_(samples), first_(first), count_(count) {}

    double track(_dywapitchtracker *tracker) {
        if (!estimated_) {
            valid_ = _dywapitch_inputisvalid(samples_, first_, count_) != 0;
            if (valid_)
                estimate_ = _dywapitch_computeWaveletPitch(samples_, first_, count_);
            estimated_ = true;
        }
        return valid_ ? _dywapitch_dynamicprocess(tracker, estimate_) : 0.0;
    }

  private:
    const double *samples_;
    int first_;
    int count_;
    bool estimated_ = false;
    bool valid_ = false;
    double estimate_ = 0.0;
};

inline int trackerSampleCount(unsigned frames) {
    return frames > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(frames);
}

// Control is any type with tone(i), freq(i), listen(i) and takeReset(); the
// values are asked for afresh at every frame, in that order.
template <class Control>
void renderBlock(double *out, const double *in, unsigned frames, Control &control) {
    for (unsigned i = 0; i < frames; ++i)
        out[i] = 0.0;
    BlockEstimate estimate(in, start, trackerSampleCount(frames));
    for (unsigned i = 0; i < frames; ++i) {
        if (control.tone(i)) {
            out[i] = std::sin(kToneK * control.freq(i) * g_t / kSampleRate);
            g_t += 1.0;
        }
        if (control.listen(i)) {
            if (control.takeReset())
                dywapitch_inittracking(&pitchtracker);
            const double pitch = estimate.track(&pitchtracker);
            // A larger grant than 512 frames still plays and tracks every
            // frame, but only the first 512 have an entry to store into.
            if (pitch != 0.0 && i < kPitchFrames)
                pitchArray[i].store(pitch, std::memory_order_relaxed);
        }
    }
}

// The live control values: the shared flags, read at every frame.
struct SharedControl {
    bool tone(unsigned) const { return gen_sine.load(std::memory_order_relaxed); }
    double freq(unsigned) const { return g_freq.load(std::memory_order_relaxed); }
    bool listen(unsigned) const { return pitch_listen.load(std::memory_order_acquire); }
    bool takeReset() const {
        return tracker_reset.load(std::memory_order_relaxed) &&
               tracker_reset.exchange(false, std::memory_order_relaxed);
    }
};

} // namespace arrowsong::detail
