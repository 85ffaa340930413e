#include "input_lag.h"

#include <algorithm>
#include <array>

namespace arrowsong::detail {

void InputLagWatch::block(std::int64_t nowNs, unsigned frames) {
    if (dismiss_.exchange(false, std::memory_order_acq_rel)) {
        lag_.store(0.0, std::memory_order_release);
        base_ns_ = nowNs;
        frames_since_base_ = 0.0;
        return;
    }
    if (lag_.load(std::memory_order_relaxed) > 0.0)
        return; // measured; waiting for the main thread
    if (!started_) {
        started_ = true;
        start_ns_ = base_ns_ = nowNs;
        frames_since_base_ = 0.0;
        return;
    }
    frames_since_base_ += frames;
    const double elapsed = static_cast<double>(nowNs - base_ns_) * 1e-9;
    const double behind = elapsed * (1.0 - kDriftAllowance) - frames_since_base_ / rate_;
    const bool starting = static_cast<double>(nowNs - start_ns_) < kStartSeconds * 1e9;
    if (behind < 0.0 || (starting && behind > kLimitSeconds)) {
        // The device is ahead of the clock, has caught up after a short
        // hold-up, or has ended the pause of a fresh stream: measure from
        // here.
        base_ns_ = nowNs;
        frames_since_base_ = 0.0;
    } else if (behind > kLimitSeconds) {
        lag_.store(behind, std::memory_order_release);
    }
}

double InputLagWatch::heldUpGapNs() const {
    const int n = std::min(intervals_seen_, kIntervals);
    double usual = 0.0;
    if (n > 0) {
        std::array<std::int64_t, kIntervals> sorted{};
        std::copy(intervals_ns_, intervals_ns_ + n, sorted.begin());
        std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.begin() + n);
        usual = static_cast<double>(sorted[static_cast<std::size_t>(n / 2)]);
    }
    return std::max(kHeldUpGapSeconds * 1e9, kHeldUpFrames * usual);
}

double InputLagWatch::check(std::int64_t nowNs) {
    constexpr double kNs = 1e9;
    if (last_check_ns_ >= 0) {
        const std::int64_t gap = nowNs - last_check_ns_;
        if (static_cast<double>(gap) >= heldUpGapNs()) {
            held_up_end_ns_[held_up_next_] = nowNs;
            held_up_ns_[held_up_next_] = gap;
            held_up_next_ = (held_up_next_ + 1) % kHeldUpSlots;
        }
        intervals_ns_[intervals_seen_ % kIntervals] = gap;
        ++intervals_seen_;
        if (intervals_seen_ == 2 * kIntervals)
            intervals_seen_ = kIntervals; // the same slot, and never an overflow
    }
    last_check_ns_ = nowNs;
    const double lag = lagSeconds();
    if (lag <= 0.0 || dismiss_.load(std::memory_order_acquire))
        return 0.0;
    double held_up = 0.0;
    for (int k = 0; k < kHeldUpSlots; ++k) {
        if (held_up_ns_[k] > 0 &&
            static_cast<double>(nowNs - held_up_end_ns_[k]) <= kHeldUpMemorySeconds * kNs)
            held_up += static_cast<double>(held_up_ns_[k]) / kNs;
    }
    if (held_up >= kHeldUpShare * lag)
        return lag;
    dismiss_.store(true, std::memory_order_release);
    return 0.0;
}

void InputLagWatch::reset() {
    lag_.store(0.0, std::memory_order_relaxed);
    dismiss_.store(false, std::memory_order_relaxed);
    started_ = false;
    start_ns_ = 0;
    base_ns_ = 0;
    frames_since_base_ = 0.0;
    last_check_ns_ = -1;
    for (int k = 0; k < kHeldUpSlots; ++k)
        held_up_end_ns_[k] = held_up_ns_[k] = 0;
    for (std::int64_t &interval : intervals_ns_)
        interval = 0;
    intervals_seen_ = 0;
}

} // namespace arrowsong::detail
