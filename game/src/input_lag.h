// How far the microphone has fallen behind the clock. On RtAudio's PulseAudio
// API every block is one write of the output followed by one read of the
// input, so the output paces the loop. When the game is held up for longer
// than the output buffer lasts (the process stopped, the machine deep in
// swap), the server keeps recording meanwhile, and the reads never catch up:
// from then on every round would be judged on what was sung that long ago.
//
// The audio thread compares the frames it has taken with the time that has
// passed. A server that itself falls silent for a while looks the same from
// there but holds nothing back: a fresh stream pauses after its first block,
// a PipeWire graph stops to take another stream in, a starved server misses
// its timer. The main thread tells the two apart by whether it was held up
// about as long itself, and only then has the stream opened again.
#pragma once

#include <atomic>
#include <cstdint>

namespace arrowsong::detail {

class InputLagWatch {
  public:
    // The lag worth opening the stream again for, which costs the game a
    // moment's deafness: a round held for a second or two would still be
    // judged mostly on older singing.
    static constexpr double kLimitSeconds = 0.5;
    // The main thread's own hold-ups, as a share of the lag, that show the
    // game and not the server lost the time.
    static constexpr double kHeldUpShare = 0.5;
    // A gap between two checks that counts as a hold-up of the main thread:
    // at least this long (a busy machine delays frames by less), and several
    // times the game's own usual frame interval, the median of the last
    // kIntervals, so that a machine drawing a few frames a second in
    // software is not held up at every frame. How long one is remembered.
    static constexpr double kHeldUpGapSeconds = 0.2;
    static constexpr double kHeldUpFrames = 4.0;
    static constexpr int kIntervals = 31;
    static constexpr double kHeldUpMemorySeconds = 5.0;
    // A fresh stream pauses once soon after its first block, for up to two
    // seconds and longer on a busy machine; what it lags in its first
    // seconds is that pause, and is not measured.
    static constexpr double kStartSeconds = 4.0;
    // Sound cards run up to a few hundred parts per million slower than the
    // system clock; that drift is not lag.
    static constexpr double kDriftAllowance = 500e-6;

    explicit InputLagWatch(double sampleRate) : rate_(sampleRate) {}

    // Audio thread, once per block, with the steady clock's time in
    // nanoseconds when the block arrived and its frame count. Lock-free,
    // allocates nothing.
    void block(std::int64_t nowNs, unsigned frames);

    // Main thread, between frames, with the steady clock's time: the lag in
    // seconds to act on by opening the stream again, or 0. A lag the main
    // thread was not held up for is dismissed, and the audio thread measures
    // afresh from its next block.
    double check(std::int64_t nowNs);

    // The lag the audio thread has found and not yet had dismissed; 0 while
    // there is none.
    double lagSeconds() const { return lag_.load(std::memory_order_acquire); }

    // Main thread, while no stream runs: forgets the stream watched so far,
    // and the main thread's hold-ups, which a new stream holds nothing of.
    void reset();

  private:
    const double rate_;
    std::atomic<double> lag_{0.0};
    std::atomic<bool> dismiss_{false};
    // Audio thread only (and reset, while no stream runs).
    bool started_ = false;
    std::int64_t start_ns_ = 0;
    std::int64_t base_ns_ = 0;
    double frames_since_base_ = 0.0;
    // Main thread only: the last few hold-ups, when each ended and how long.
    static constexpr int kHeldUpSlots = 16;
    std::int64_t last_check_ns_ = -1;
    std::int64_t held_up_end_ns_[kHeldUpSlots] = {};
    std::int64_t held_up_ns_[kHeldUpSlots] = {};
    int held_up_next_ = 0;
    std::int64_t intervals_ns_[kIntervals] = {};
    int intervals_seen_ = 0;

    // The gap from which a check counts as late: see kHeldUpFrames.
    double heldUpGapNs() const;
};

} // namespace arrowsong::detail
