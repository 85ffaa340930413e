#include "input_lag.h"

namespace arrowsong::detail {

void InputLagWatch::block(std::int64_t nowNs, unsigned frames) {
    if (dismiss_.exchange(false, std::memory_order_acq_rel)) {
        lag_.store(0.0, std::memory_order_relaxed);
        base_ns_ = nowNs;
        frames_since_base_ = 0.0;
        last_ns_ = nowNs;
        return;
    }
    if (lag_.load(std::memory_order_relaxed) > 0.0)
        return;
    const bool close = close_blocks_ > 0 && nowNs - last_ns_ <= kSteadyGapNs;
    last_ns_ = nowNs;
    if (!steady_) {
        close_blocks_ = close ? close_blocks_ + 1 : 1;
        if (close_blocks_ < kSteadyBlocks)
            return;
        steady_ = true;
        base_ns_ = nowNs;
        frames_since_base_ = 0.0;
        return;
    }
    frames_since_base_ += frames;
    const double elapsed = static_cast<double>(nowNs - base_ns_) * 1e-9;
    const double behind = elapsed * (1.0 - kDriftAllowance) - frames_since_base_ / rate_;
    if (behind < 0.0) {
        // The device is ahead of the clock, or has caught up after a short
        // hold-up: measure from here.
        base_ns_ = nowNs;
        frames_since_base_ = 0.0;
    } else if (behind > kLimitSeconds) {
        lag_.store(behind, std::memory_order_release);
    }
}

void InputLagWatch::reset() {
    lag_.store(0.0, std::memory_order_relaxed);
    dismiss_.store(false, std::memory_order_relaxed);
    last_ns_ = 0;
    close_blocks_ = 0;
    steady_ = false;
    base_ns_ = 0;
    frames_since_base_ = 0.0;
}

} // namespace arrowsong::detail
