#include "util/XRandom.h"

void XRandom::seed_(std::uint32_t seed) {
    if (seed == 0)
        seed = 1;
    // The table is filled by the minimal standard generator (16807 modulo
    // 2^31 - 1, by Schrage's method).
    // In signed 32-bit words: a seed from 2^31 up starts negative.
    std::int32_t word = static_cast<std::int32_t>(seed);
    table_[0] = seed;
    for (int i = 1; i < kDegree; ++i) {
        const std::int32_t hi = word / 127773;
        const std::int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        table_[i] = static_cast<std::uint32_t>(word);
    }
    front_ = kSeparation;
    rear_ = 0;
    // The first 310 values are thrown away, as the C library does.
    for (int i = 0; i < 10 * kDegree; ++i)
        next();
}

std::int32_t XRandom::next() {
    table_[front_] += table_[rear_];
    const std::uint32_t sum = table_[front_];
    if (++front_ == kDegree)
        front_ = 0;
    if (++rear_ == kDegree)
        rear_ = 0;
    return static_cast<std::int32_t>(sum >> 1);
}
