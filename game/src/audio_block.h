// The body of the audio callback, written once over a source of per-frame
// control values so that the live callback and the tests that script
// mid-block changes run the very same code.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dywapitch_internal.h"
#include "game/state.h"

namespace arrowsong::detail {

// Not 2*pi (6.283185307179586): the tone is generated with this constant,
// and its exact samples are part of what the game plays.
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
        if (!valid_) {
            settled_ = true; // such a call never touches the record
            return 0.0;
        }
        const _dywapitchtracker before = *tracker;
        const double result = _dywapitch_dynamicprocess(tracker, estimate_);
        settled_ = sameRecord(before, *tracker);
        return result;
    }

    // True when the latest step left the record exactly as it found it. The
    // tracking stage is a pure function of the record and the estimate, and
    // the estimate is the same all through the block, so from then on every
    // step gives the same result and leaves the same record, until something
    // else (a reset) changes the record.
    bool settled() const { return settled_; }

  private:
    // Bit for bit, so that a record is never taken for another one that
    // merely compares equal.
    static bool sameRecord(const _dywapitchtracker &a, const _dywapitchtracker &b) {
        std::uint64_t pa, pb;
        std::memcpy(&pa, &a._lastPitch, sizeof pa);
        std::memcpy(&pb, &b._lastPitch, sizeof pb);
        return pa == pb && a._confidence == b._confidence;
    }

    const double *samples_;
    int first_;
    int count_;
    bool estimated_ = false;
    bool valid_ = false;
    bool settled_ = false;
    double estimate_ = 0.0;
};

inline int trackerSampleCount(unsigned frames) {
    return frames > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(frames);
}

// A larger grant than 512 frames still plays and tracks every frame, but only
// the first 512 have an entry to store into.
inline void storePitch(unsigned i, double pitch) {
    if (pitch != 0.0 && i < kPitchFrames)
        pitchArray[i].store(pitch, std::memory_order_relaxed);
}

// The frames from i up to end (if i is below it) while the tracking stage is settled: each one
// that listens gives pitch again, stored when Store is set. Stops early at a
// frame that asks for a reset (already taken from control), setting reset.
// This loop runs for most of a listening block, so it is kept tight.
template <bool Store, class Control, class PlayTone>
unsigned settledFrames(unsigned i, unsigned end, double pitch, Control &control,
                       const PlayTone &playTone, bool &reset) {
    for (; i < end; ++i) {
        playTone(i);
        if (__builtin_expect(!control.listen(i), 0))
            continue;
        if (__builtin_expect(control.takeReset(), 0)) {
            reset = true;
            return i;
        }
        if (Store)
            pitchArray[i].store(pitch, std::memory_order_relaxed);
    }
    return i;
}

// Control is any type with tone(i), freq(i), listen(i) and takeReset(); the
// values are asked for afresh at every frame, in that order.
template <class Control>
void renderBlock(double *out, const double *in, unsigned frames, Control &control) {
    for (unsigned i = 0; i < frames; ++i)
        out[i] = 0.0;
    const auto playTone = [&](unsigned i) {
        if (__builtin_expect(control.tone(i), 0)) {
            out[i] = std::sin(kToneK * control.freq(i) * g_t / kSampleRate);
            g_t += 1.0;
        }
    };
    BlockEstimate estimate(in, start, trackerSampleCount(frames));
    double settledPitch = 0.0;
    for (unsigned i = 0; i < frames;) {
        // Every listening frame runs the tracking stage until one step leaves
        // the record as it was.
        bool settled = false;
        for (; i < frames && !settled; ++i) {
            playTone(i);
            if (control.listen(i)) {
                if (control.takeReset())
                    dywapitch_inittracking(&pitchtracker);
                settledPitch = estimate.track(&pitchtracker);
                storePitch(i, settledPitch);
                settled = estimate.settled();
            }
        }
        if (!settled)
            return;
        // From there on each listening frame would give that step's result
        // again and leave the record alone, so the result is stored as it
        // is. Only a reset changes the record; the stage then runs again
        // until it settles anew.
        const double pitch = settledPitch;
        const unsigned stored = pitch == 0.0 ? 0u : (frames < kPitchFrames ? frames : kPitchFrames);
        bool reset = false;
        i = settledFrames<true>(i, stored, pitch, control, playTone, reset);
        if (!reset)
            i = settledFrames<false>(i, frames, pitch, control, playTone, reset);
        if (reset) {
            dywapitch_inittracking(&pitchtracker);
            settledPitch = estimate.track(&pitchtracker);
            storePitch(i++, settledPitch);
        }
    }
}

// The live control values: the shared flags, read at every frame.
struct SharedControl {
    bool tone(unsigned) const { return gen_sine.load(std::memory_order_relaxed); }
    double freq(unsigned) const { return g_freq.load(std::memory_order_relaxed); }
    bool listen(unsigned) const { return pitch_listen.load(std::memory_order_acquire); }
    bool takeReset() const {
        return __builtin_expect(tracker_reset.load(std::memory_order_relaxed), 0) &&
               tracker_reset.exchange(false, std::memory_order_relaxed);
    }
};

} // namespace arrowsong::detail
