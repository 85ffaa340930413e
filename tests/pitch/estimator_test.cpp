// The estimator against its reference implementation, and the behaviour of
// particular windows.
#include "dywapitch_internal.h"
#include "reference_estimator.h"
#include "signals.h"
#include "wavelet_levels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using signals::kPi;

std::uint64_t bitsOf(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double estimate(const std::vector<double> &x, int start = 0, int count = -1) {
    return _dywapitch_computeWaveletPitch(x.data(), start,
                                          count < 0 ? static_cast<int>(x.size()) - start : count);
}

// Compares one window bit for bit; returns the pitch.
double expectSameAsReference(const std::vector<double> &x, int start, int count, const char *what) {
    const double fast = _dywapitch_computeWaveletPitch(x.data(), start, count);
    const double plain = reference::waveletPitch(x.data(), start, count);
    EXPECT_EQ(bitsOf(fast), bitsOf(plain))
        << what << " start " << start << " count " << count << ": " << fast << " vs " << plain;
    EXPECT_LE(fast, 2940.0) << what;
    EXPECT_GE(fast, 0.0) << what;
    return fast;
}

// Thousands of windows of every kind the tracker meets, and some it should
// not: each must give exactly the result of the plain algorithm.
void matchesPlainAlgorithm() {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int counts[] = {4, 7, 16, 100, 333, 512, 700, 1024, 1500, 2048, 4096, 5000, 8192};
    int windows = 0, pitched = 0;
    for (double hz = 60.0; hz <= 3000.0; hz *= 1.005 + 0.02 * unit(rng)) {
        for (int count : counts) {
            const int start = static_cast<int>(unit(rng) * 64);
            const double phase = 2.0 * kPi * unit(rng);
            std::vector<double> x;
            switch (windows % 6) {
            case 0:
                x = signals::sine(hz, start + count, 0.5, phase);
                break;
            case 1:
                x = signals::harmonics(hz, start + count, {0.3, 0.5, 0.2, 0.1}, phase);
                break;
            case 2:
                x = signals::sine(hz, start + count, 0.4, phase);
                signals::addNoise(x, 0.2 * unit(rng), rng);
                break;
            case 3:
                x = signals::harmonics(hz, start + count, {1.0, 0.7}, phase);
                signals::offset(x, 2.0 * unit(rng) - 1.0);
                break;
            case 4:
                x = signals::sine(hz, start + count, 2.0, phase);
                signals::clip(x, 0.3 + unit(rng));
                break;
            default:
                x.assign(start + count, 0.0);
                signals::addNoise(x, 1.0, rng);
                break;
            }
            if (expectSameAsReference(x, start, count, "signal") > 0.0)
                ++pitched;
            ++windows;
        }
    }
    EXPECT_GT(windows, 2000);
    // The comparison must cover both outcomes, not only windows without pitch.
    EXPECT_GT(pitched, windows / 3);
    EXPECT_LT(pitched, windows);
}

TEST(Estimator, MatchesPlainAlgorithmBitForBit) {
    matchesPlainAlgorithm();
}

// The same with the baseline vectors that every x86-64 processor has, where
// the processor running the tests has wider ones.
TEST(Estimator, MatchesPlainAlgorithmWithBaselineVectors) {
    wavepitch::allowWideMasks(false);
    matchesPlainAlgorithm();
    wavepitch::allowWideMasks(true);
}

TEST(Estimator, ShortAndDegenerateWindowsHaveNoPitch) {
    const auto x = signals::sine(1000.0, 16);
    for (int count = 0; count < 4; ++count)
        EXPECT_EQ(estimate(x, 0, count), 0.0) << count;
    EXPECT_EQ(estimate(std::vector<double>(512, 0.0)), 0.0);
    EXPECT_EQ(estimate(std::vector<double>(512, 0.25)), 0.0);
    EXPECT_EQ(estimate(std::vector<double>(512, -3.0)), 0.0);
}

TEST(Estimator, BadArgumentsHaveNoPitch) {
    const auto x = signals::sine(440.0, 512);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(nullptr, 0, 512), 0.0);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(x.data(), -1, 512), 0.0);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(x.data(), 0, -512), 0.0);
    auto bad = x;
    bad[100] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(estimate(bad), 0.0);
    bad[100] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(estimate(bad), 0.0);
    // Finite samples whose sum overflows.
    std::vector<double> huge(512, 1.0e308);
    for (int i = 0; i < 512; i += 3)
        huge[i] = -1.0e308;
    EXPECT_EQ(estimate(huge), expectSameAsReference(huge, 0, 512, "overflow"));
}

TEST(Estimator, KnownTones) {
    EXPECT_NEAR(estimate(signals::sine(440.0, 512)), 439.7, 0.05);
    EXPECT_NEAR(estimate(signals::sine(1000.0, 512)), 1000.0, 1e-9);
    // About one and a half periods: the outcome depends on where they start.
    const double lowest = 440.0 * std::pow(2.0, -21.0 / 12.0);
    EXPECT_EQ(estimate(signals::sine(lowest, 512, 0.5, 0.0)), 0.0);
    EXPECT_NEAR(estimate(signals::sine(lowest, 512, 0.5, kPi / 2)), 130.9, 0.05);
}

TEST(Estimator, ReadsOnlyTheFloorPowerOfTwoFromTheStart) {
    auto x = signals::sine(440.0, 1200, 0.5, 0.3);
    const double of512 = estimate(x, 100, 512);
    // Samples before the start and past start + 512 must not matter.
    for (int i = 0; i < 100; ++i)
        x[i] = 1.0e6;
    for (int i = 612; i < 1200; ++i)
        x[i] = std::numeric_limits<double>::quiet_NaN();
    const auto before = x;
    EXPECT_EQ(bitsOf(estimate(x, 100, 1000)), bitsOf(of512));
    EXPECT_EQ(bitsOf(estimate(x, 100, 512)), bitsOf(of512));
    EXPECT_GT(of512, 0.0);
    EXPECT_EQ(std::memcmp(before.data(), x.data(), x.size() * sizeof(double)), 0)
        << "the caller's samples were written";
}

// The game's goal notes (36 to 59: 130.8 to 493.9 Hz) with a voice-like
// spectrum. The game judges in steps of 20 cents and forgives two of them, so
// an estimate within 20 cents never moves a shot by more than one step.
// Windows of 2048 samples hold at least six periods of the lowest note.
TEST(Estimator, HarmonicTonesWithinTwentyCents) {
    double worst = 0.0;
    for (int note = 36; note <= 59; ++note) {
        const double hz = 440.0 * std::pow(2.0, (note - 57) / 12.0);
        for (double phase : {0.0, 1.0, 2.5}) {
            const auto x = signals::harmonics(hz, 2048, {1.0, 0.6, 0.4, 0.25, 0.1}, phase);
            const double found = estimate(x);
            ASSERT_GT(found, 0.0) << hz;
            const double error = std::fabs(signals::cents(found, hz));
            worst = std::max(worst, error);
            EXPECT_LT(error, 20.0) << hz << " Hz phase " << phase << " gave " << found;
        }
    }
    RecordProperty("worst_cents", std::to_string(worst));
}

} // namespace
