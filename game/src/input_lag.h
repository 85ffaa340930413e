// How far the microphone has fallen behind the clock. On RtAudio's PulseAudio
// API every block is one write of the output followed by one read of the
// input, so the output paces the loop. When the game is held up for longer
// than the output buffer lasts (the process stopped, the machine swapping),
// the server keeps recording meanwhile, and the reads never catch up: from
// then on every round would be judged on what was sung that long ago.
// InputLagWatch compares the frames the callback has taken with the time that
// has passed since the stream ran steadily, and says when the difference
// exceeds kLimitSeconds. A server that itself falls silent for a while (a
// PipeWire graph that stops to take another stream in, a starved server)
// looks the same from here, but holds nothing back; the main thread tells the
// two apart by whether it was held up too, and only then opens the stream
// again.
#pragma once

#include <atomic>
#include <cstdint>

namespace arrowsong::detail {

class InputLagWatch {
  public:
    // The lag that makes the stream worth opening again: well above a
    // block and the output buffer's slack, far below what a singer notices.
    static constexpr double kLimitSeconds = 0.25;
    // Blocks that must follow each other closely before the watch starts:
    // a fresh stream may pause once after its first block, which holds back
    // nothing.
    static constexpr unsigned kSteadyBlocks = 32;
    // Longest gap between two blocks of a steady stream.
    static constexpr std::int64_t kSteadyGapNs = 100'000'000;
    // Sound cards run up to a few hundred parts per million slower than the
    // system clock; that drift is not lag.
    static constexpr double kDriftAllowance = 500e-6;

    explicit InputLagWatch(double sampleRate) : rate_(sampleRate) {}

    // Audio thread, once per block, with the steady clock's time in
    // nanoseconds when the block arrived and its frame count. Lock-free,
    // allocates nothing.
    void block(std::int64_t nowNs, unsigned frames);

    // The lag found, in seconds, once it has exceeded kLimitSeconds; 0 until
    // then. The watch stops at that point until reset.
    double lagSeconds() const { return lag_.load(std::memory_order_acquire); }

    // Main thread, while the stream runs: the lag found is not worth acting
    // on (the server, not the game, lost the time); the audio thread measures
    // afresh from its next block.
    void dismiss() { dismiss_.store(true, std::memory_order_release); }

    // Main thread, while no stream runs: forgets the stream watched so far.
    void reset();

  private:
    const double rate_;
    std::atomic<double> lag_{0.0};
    std::atomic<bool> dismiss_{false};
    // Audio thread only (and reset, while no stream runs).
    std::int64_t last_ns_ = 0;
    unsigned close_blocks_ = 0;
    bool steady_ = false;
    std::int64_t base_ns_ = 0;
    double frames_since_base_ = 0.0;
};

} // namespace arrowsong::detail
