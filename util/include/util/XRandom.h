// XRandom: the additive feedback generator behind the GNU C library's
// random(), in its default configuration (a 128-byte state: 31 words, lags 3
// and 31), written out so that a program built against another C library
// draws the same numbers. Seeded with 1 it yields the sequence that random()
// gives a program that never calls srandom().
#pragma once

#include <cstdint>

class XRandom {
  public:
    explicit XRandom(std::uint32_t seed = 1) { seed_(seed); }

    // As srandom(seed): 0 counts as 1.
    void seed(std::uint32_t seed) { seed_(seed); }

    // The next value, from 0 to 2^31 - 1, as random() returns it.
    std::int32_t next();

  private:
    void seed_(std::uint32_t seed);

    static constexpr int kDegree = 31;
    static constexpr int kSeparation = 3;
    std::uint32_t table_[kDegree] = {};
    int front_ = kSeparation; // the lagged pair that the next value adds
    int rear_ = 0;
};
