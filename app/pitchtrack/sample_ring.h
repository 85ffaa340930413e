// A single-producer, single-consumer ring of samples: the audio callback
// pushes, the main thread pops. Its storage is allocated once, up front, so
// pushing never allocates, locks or waits; a push that finds the ring full
// stores what fits and reports how much.
#ifndef PITCHTRACK_SAMPLE_RING_H
#define PITCHTRACK_SAMPLE_RING_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace pitchtrack {

class SampleRing {
  public:
    // capacity is rounded up to a power of two.
    explicit SampleRing(std::size_t capacity) : buffer_(roundUp(capacity)) {
        mask_ = buffer_.size() - 1;
    }

    std::size_t capacity() const { return buffer_.size(); }

    // Producer thread only. Returns the number of samples stored.
    std::size_t push(const double *samples, std::size_t count) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        // Acquire: the consumer has finished reading the slots it released.
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        const std::size_t n = std::min(count, buffer_.size() - (head - tail));
        for (std::size_t i = 0; i < n; ++i)
            buffer_[(head + i) & mask_] = samples[i];
        // Release: the samples are in place before the consumer sees them.
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    // Consumer thread only. Returns the number of samples taken, at most max.
    std::size_t pop(double *out, std::size_t max) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t head = head_.load(std::memory_order_acquire);
        const std::size_t n = std::min(max, head - tail);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = buffer_[(tail + i) & mask_];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

  private:
    static std::size_t roundUp(std::size_t n) {
        std::size_t size = 1;
        while (size < n)
            size <<= 1;
        return size;
    }

    std::vector<double> buffer_;
    std::size_t mask_ = 0;
    // Free-running counts of samples written and read; their difference is
    // the fill. Apart, so that the two threads do not share a cache line.
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

static_assert(std::atomic<std::size_t>::is_always_lock_free, "the audio thread must not lock");

} // namespace pitchtrack

#endif
