#include "game/rules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "game/state.h"

#ifdef __EMSCRIPTEN__
#include <util/XRandom.h>
#endif

namespace {

// The judgement band of a sung average: its y_adj, or no band at all within
// two steps of the goal. Upper bands include their upper bound, lower bands
// their lower bound, so a note exactly a semitone off counts as the nearer
// band.
struct Band {
    bool hit;
    double height;
};

Band judge(double sung, double goal) {
    // A fifth of an equal-tempered semitone, computed at every call from 1/12
    // as a double: the band edges are the exact values of this expression.
    const double step = std::pow(std::pow(2.0, 0.08333333333333333), 0.2);
    // Heights for 2, 3, 4 and 5 steps off; the widest band is tested first.
    const double height[] = {0.1, 0.25, 0.35, 0.5};
    for (int k = 5; k >= 2; --k) {
        if (sung > goal * std::pow(step, k))
            return {true, height[k - 2]};
    }
    for (int k = 5; k >= 2; --k) {
        if (sung < goal / std::pow(step, k))
            return {true, -height[k - 2]};
    }
    return {false, 0.0};
}

#ifdef __EMSCRIPTEN__
// Other C libraries (the browser's) have no reentrant random(); the same
// generator, written out, takes its place.
XRandom &landing() {
    static XRandom generator;
    return generator;
}
#else
// The same state size as the C library gives rand(), hence the same sequence
// for the same seed.
struct LandingGenerator {
    char state[128];
    random_data data;
    LandingGenerator() : state(), data() { initstate_r(1, state, sizeof state, &data); }
};

LandingGenerator &landing() {
    static LandingGenerator generator;
    return generator;
}
#endif

} // namespace

#ifdef __EMSCRIPTEN__
void srandLanding(unsigned seed) {
    landing().seed(seed);
}

int randLanding() {
    return landing().next();
}
#else
void srandLanding(unsigned seed) {
    srandom_r(seed, &landing().data);
}

int randLanding() {
    int32_t value = 0;
    random_r(&landing().data, &value);
    return value;
}
#endif

double computePitchAverage() {
    // Only the first 512 frames of a block have entries; a grant of 0 frames
    // leaves nothing to average, which is no pitch.
    const unsigned count = std::min(bufferSize, kPitchFrames);
    double sum = 0.0;
    for (unsigned i = 0; i < count; ++i)
        sum += pitchArray[i].load(std::memory_order_relaxed);
    average = count == 0 ? 0.0 : sum / static_cast<double>(count);
    const double goal = g_freq.load(std::memory_order_relaxed);
    std::cout << "Goal frequency: " << goal << std::endl;
    std::cout << "Your frequency average: " << average << std::endl;
    return average;
}

double generateRandom() {
    const float r = static_cast<float>(randLanding());
    const float d = 2147483648.0f / (HI - LO);
    const float x = LO + r / d;
    x_adj = static_cast<double>(x);
    return x_adj;
}

void shootArrow(double /*sungAverage*/) {
    // Both callers pass the stored average; the judgement reads it directly.
    const Band band = judge(average, g_freq.load(std::memory_order_relaxed));
    if (band.hit) {
        generateRandom();
        y_adj = band.height;
    }
    arrow_move = true;
}
