// The rules of one level of the estimator, on inputs crafted for each, and
// the integer helpers.
#include "dywapitch_internal.h"
#include "reference_estimator.h"
#include "wavelet_levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using wavepitch::DistanceRange;

TEST(PowerOfTwo, Helpers) {
    const int powers[] = {0, 2, 4, 8, 1024, 1 << 30};
    for (int v : powers)
        EXPECT_EQ(_power2p(v), 1) << v;
    const int others[] = {1, 3, 6, 1000, -2, -4};
    for (int v : others)
        EXPECT_EQ(_power2p(v), 0) << v;

    EXPECT_EQ(_bitcount(0), 0);
    EXPECT_EQ(_bitcount(1), 1);
    EXPECT_EQ(_bitcount(2), 2);
    EXPECT_EQ(_bitcount(4), 3);
    EXPECT_EQ(_bitcount(7), 3);
    EXPECT_EQ(_bitcount(512), 10);
    EXPECT_EQ(_bitcount(1023), 10);

    EXPECT_EQ(_ceil_power2(1017), 1024);
    EXPECT_EQ(_ceil_power2(3), 4);
    EXPECT_EQ(_ceil_power2(0), 0);
    EXPECT_EQ(_ceil_power2(1), 2);
    EXPECT_EQ(_ceil_power2(64), 64);
    EXPECT_EQ(_floor_power2(1000), 512);
    EXPECT_EQ(_floor_power2(3), 2);
    EXPECT_EQ(_floor_power2(1), 1);
    EXPECT_EQ(_floor_power2(0), 0);
    EXPECT_EQ(_floor_power2(4096), 4096);
    EXPECT_EQ(_floor_power2(2147483647), 1 << 30);

    EXPECT_EQ(_iabs(-7), 7);
    EXPECT_EQ(_iabs(7), 7);
    EXPECT_EQ(_2power(0), 1);
    EXPECT_EQ(_2power(-3), 1);
    EXPECT_EQ(_2power(5), 32);
}

TEST(PowerOfTwo, OutsideTheDomainStaysDefined) {
    EXPECT_EQ(_bitcount(-1), 0);
    EXPECT_EQ(_ceil_power2(-5), 0);
    EXPECT_EQ(_floor_power2(-5), 0);
    EXPECT_EQ(_ceil_power2((1 << 30) + 1), 0);
    EXPECT_EQ(_iabs(-2147483647 - 1), 2147483647);
}

TEST(PowerOfTwo, NeededSampleCount) {
    EXPECT_EQ(dywapitch_neededsamplecount(130), 1024);
    EXPECT_EQ(dywapitch_neededsamplecount(44100), 4);
    EXPECT_EQ(dywapitch_neededsamplecount(0), 0);
    EXPECT_EQ(dywapitch_neededsamplecount(-50), 0);
    EXPECT_EQ(dywapitch_neededsamplecount(1), 262144);
    EXPECT_EQ(dywapitch_neededsamplecount(100000), 2);
    EXPECT_EQ(dywapitch_neededsamplecount(200000), 0);
}

std::vector<int> histogramWith(int n, std::initializer_list<std::pair<int, int>> counts) {
    std::vector<int> h(n, 0);
    for (auto [d, c] : counts)
        h[d] = c;
    return h;
}

TEST(ModeSearch, TiesPreferExactlyDoubleTheBest) {
    auto h = histogramWith(32, {{6, 5}, {12, 5}});
    EXPECT_EQ(wavepitch::bestDistance(h.data(), 32, 0, DistanceRange{6, 12}), 12);
    h = histogramWith(32, {{6, 5}, {11, 5}});
    EXPECT_EQ(wavepitch::bestDistance(h.data(), 32, 0, DistanceRange{6, 11}), 6);
    // A larger sum later wins outright.
    h = histogramWith(32, {{6, 5}, {11, 6}});
    EXPECT_EQ(wavepitch::bestDistance(h.data(), 32, 0, DistanceRange{6, 11}), 11);
}

TEST(ModeSearch, WindowedSumMatchesPlainSearch) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 6000; ++trial) {
        const int n = 8 << (trial % 7);
        const int delta = static_cast<int>(rng() % 15);
        std::vector<int> h(n, 0);
        const int lo = std::min(n - 1, delta + 1 + static_cast<int>(rng() % (n / 2)));
        const int hi = lo + static_cast<int>(rng() % (n - lo));
        h[lo] = 1 + static_cast<int>(rng() % 4);
        h[hi] += 1 + static_cast<int>(rng() % 4);
        const int extra = static_cast<int>(rng() % 6);
        for (int k = 0; k < extra && hi > lo; ++k)
            h[lo + static_cast<int>(rng() % (hi - lo))] += static_cast<int>(rng() % 3);
        // Or counters all through the range, small enough to tie often, and
        // at times more of them than the search keeps track of one by one.
        if (trial % 3 == 0) {
            for (int d = lo + 1; d < hi; ++d)
                h[d] = rng() % 4 == 0 ? static_cast<int>(rng() % 3) : 0;
            if (trial % 9 == 0)
                for (int d = lo + 1; d < hi; ++d)
                    h[d] = 1 + static_cast<int>(rng() % 2);
        }
        ASSERT_EQ(wavepitch::bestDistance(h.data(), n, delta, DistanceRange{lo, hi}),
                  reference::bestDistance(h.data(), n, delta))
            << "trial " << trial << " n " << n << " delta " << delta;
    }
}

TEST(ModeSearch, ModeIsTheWeightedMeanAroundTheBest) {
    const auto h = histogramWith(64, {{10, 2}, {12, 1}, {20, 9}});
    EXPECT_DOUBLE_EQ(wavepitch::modeAround(h.data(), 64, 11, 1), (10.0 * 2 + 12.0) / 3);
    EXPECT_EQ(wavepitch::modeAround(h.data(), 64, 11, 0), -1.0);
    EXPECT_EQ(wavepitch::modeAround(h.data(), 64, 20, 0), 20.0);
    // The window is clipped to the histogram.
    EXPECT_EQ(wavepitch::modeAround(h.data(), 21, 20, 3), 20.0);
}

struct Marked {
    std::vector<int> minima, maxima;
};

Marked mark(const std::vector<double> &x, double mean, double threshold, int delta) {
    Marked m{std::vector<int>(x.size()), std::vector<int>(x.size())};
    wavepitch::Extrema ex{m.minima.data(), m.maxima.data(), 0, 0};
    wavepitch::markExtrema(x.data(), static_cast<int>(x.size()), {mean, threshold}, delta,
                           static_cast<int>(x.size()), ex);
    m.minima.resize(ex.minCount);
    m.maxima.resize(ex.maxCount);
    return m;
}

TEST(Extrema, MarksTheSampleAfterEachTurnAfterAFreshCrossing) {
    //                       0   1   2   3  4  5   6   7   8  9  10  11
    const std::vector<double> x{-1, -2, 1, 2, 1, -1, -2, -1, 1, 2, 1, 0};
    const Marked m = mark(x, 0.0, 0.5, 0);
    EXPECT_EQ(m.maxima, (std::vector<int>{4, 10}));
    EXPECT_EQ(m.minima, (std::vector<int>{7}));
}

TEST(Extrema, SecondTurnWithoutCrossingIsIgnored) {
    // Two peaks above the mean with no crossing between: only the first.
    const Marked m = mark({-1, -1, 1, 3, 1, 2, 3, 1, -1}, 0.0, 0.5, 0);
    EXPECT_EQ(m.maxima, (std::vector<int>{4}));
}

TEST(Extrema, ThresholdAndSpacing) {
    const std::vector<double> x{-1, -1, 1, 2, 1, -1, 1, 2, 1, -1, 1, 0.5, 0, -1};
    EXPECT_EQ(mark(x, 0.0, 0.5, 0).maxima, (std::vector<int>{4, 8, 11}));
    // The sample after the third turn, 0.5, falls short of the threshold.
    EXPECT_EQ(mark(x, 0.0, 0.75, 0).maxima, (std::vector<int>{4, 8}));
    // 8 is not more than 4 samples after 4: skipped, the flag stays armed and
    // the next turn is taken.
    EXPECT_EQ(mark(x, 0.0, 0.5, 4).maxima, (std::vector<int>{4, 11}));
}

// The marking rules applied sample by sample, as the plain algorithm states
// them.
Marked plainMark(const std::vector<double> &x, double mean, double threshold, int delta) {
    const int n = static_cast<int>(x.size());
    std::vector<int> mins(x.size() + 1), maxs(x.size() + 1);
    int nMins = 0, nMaxs = 0;
    reference::markExtrema(x.data(), n, mean, threshold, delta, mins.data(), nMins, maxs.data(),
                           nMaxs);
    Marked m;
    m.minima.assign(mins.begin(), mins.begin() + nMins);
    m.maxima.assign(maxs.begin(), maxs.begin() + nMaxs);
    return m;
}

// Every length (not only powers of two, so that partial blocks of samples
// are met), plateaus and values equal to the mean, samples so close together
// that centring rounds them to the same value, differences beyond -1000, and
// samples so large that centring overflows.
TEST(Extrema, MatchPlainRulesOnAnySignal) {
    std::mt19937 rng(1403);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int marks = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const int n = 3 + static_cast<int>(rng() % 300);
        const int kind = trial % 5;
        std::vector<double> x(n);
        const double hz = 50.0 + 3000.0 * unit(rng), phase = 6.3 * unit(rng);
        for (int i = 0; i < n; ++i) {
            const double tone = std::sin(2.0 * M_PI * hz * i / 44100.0 + phase);
            switch (kind) {
            case 0: // a noisy tone
                x[i] = tone + 0.3 * (unit(rng) - 0.5);
                break;
            case 1: // coarse steps: plateaus, and samples equal to the mean
                x[i] = std::round(4.0 * tone + 2.0 * (unit(rng) - 0.5)) / 4.0;
                break;
            case 2: // steps of one unit in the last place of a large offset
                x[i] = 1.0 + std::ldexp(std::round(8.0 * tone), -52);
                break;
            case 3: // a square wave in thousands: falls beyond -1000
                x[i] = (tone > 0.0 ? 3000.0 : -3000.0) + 200.0 * (unit(rng) - 0.5);
                break;
            default: // near the largest doubles: centring overflows
                x[i] = (unit(rng) < 0.5 ? 1.7e308 : -1.7e308) * tone;
                break;
            }
        }
        const double mean = kind == 2   ? 1.0 + std::ldexp(1.0, -53)
                            : kind == 4 ? (unit(rng) < 0.5 ? 1.0e308 : -1.0e308)
                                        : 0.2 * (unit(rng) - 0.5);
        double threshold = kind == 2 ? 0.0 : (kind == 3 ? 1500.0 : 0.6) * unit(rng);
        // At times exactly as far from the mean as some sample is.
        if (trial % 4 == 1)
            threshold = std::fabs(x[rng() % n] - mean);
        const int delta = static_cast<int>(rng() % 15);
        const Marked plain = plainMark(x, mean, threshold, delta);
        // With the processor's widest vectors, and with the baseline ones.
        for (bool wide : {true, false}) {
            wavepitch::allowWideMasks(wide);
            const Marked fast = mark(x, mean, threshold, delta);
            wavepitch::allowWideMasks(true);
            ASSERT_EQ(fast.minima, plain.minima) << "trial " << trial << " n " << n << " " << wide;
            ASSERT_EQ(fast.maxima, plain.maxima) << "trial " << trial << " n " << n << " " << wide;
        }
        marks += static_cast<int>(plain.minima.size() + plain.maxima.size());
    }
    EXPECT_GT(marks, 40000);
}

TEST(Levels, DecimationAveragesPairsInPlace) {
    std::vector<double> x{1, 3, 5, 7, -2, 2, 10, 11, 4, 5, 1e308, 1e308};
    wavepitch::decimate(x.data(), 12, x.data());
    EXPECT_EQ(std::vector<double>(x.begin(), x.begin() + 6),
              (std::vector<double>{2, 6, 0, 10.5, 4.5, INFINITY}));
}

TEST(Levels, CentreStartsExtremesAtZero) {
    // All positive: the minimum stays 0, so the amplitude is the mean itself
    // when that exceeds the peak above it.
    const std::vector<double> x{3, 3, 3, 5};
    double halved[2];
    const auto c = wavepitch::centreOfWindow(x.data(), 4, halved);
    EXPECT_EQ(c.mean, 3.5);
    EXPECT_EQ(c.threshold, 3.5 * 0.75);
    EXPECT_EQ(halved[0], 3.0);
    EXPECT_EQ(halved[1], 4.0);
}

} // namespace
