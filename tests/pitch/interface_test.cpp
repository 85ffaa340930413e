// The exported interface: chaining of the two stages, and bad input.
#include "dywapitch_internal.h"
#include "signals.h"

#include <gtest/gtest.h>

#include <limits>

extern "C" double c_caller_track(const double *samples, int count, int windows);

namespace {

TEST(Interface, ComputePitchChainsEstimatorAndTracking) {
    // A tone that glides and drops out: the public call must equal the two
    // stages run by hand, window after window.
    std::vector<double> x;
    for (int w = 0; w < 40; ++w) {
        auto part = w % 9 == 4 ? std::vector<double>(512, 0.0)
                               : signals::harmonics(200.0 + 7.0 * w, 512, {0.6, 0.3, 0.2});
        x.insert(x.end(), part.begin(), part.end());
    }
    _dywapitchtracker public_, byHand;
    dywapitch_inittracking(&public_);
    dywapitch_inittracking(&byHand);
    int pitched = 0;
    for (int start = 0; start + 512 <= static_cast<int>(x.size()); start += 256) {
        const double a = dywapitch_computepitch(&public_, x.data(), start, 512);
        const double b = _dywapitch_dynamicprocess(
            &byHand, _dywapitch_computeWaveletPitch(x.data(), start, 512));
        ASSERT_EQ(a, b) << start;
        ASSERT_EQ(public_._lastPitch, byHand._lastPitch);
        ASSERT_EQ(public_._confidence, byHand._confidence);
        pitched += a > 0.0;
    }
    EXPECT_GT(pitched, 40);
}

TEST(Interface, InputOutsideTheDomainGivesNoPitchAndLeavesTheRecord) {
    auto x = signals::sine(440.0, 1024);
    _dywapitchtracker t;
    dywapitch_inittracking(&t);
    ASSERT_GT(dywapitch_computepitch(&t, x.data(), 0, 512), 0.0);
    const _dywapitchtracker before = t;

    auto unchanged = [&](double result, const char *what) {
        EXPECT_EQ(result, 0.0) << what;
        EXPECT_EQ(t._lastPitch, before._lastPitch) << what;
        EXPECT_EQ(t._confidence, before._confidence) << what;
    };
    unchanged(dywapitch_computepitch(&t, nullptr, 0, 512), "null samples");
    unchanged(dywapitch_computepitch(&t, x.data(), 0, -512), "negative count");
    unchanged(dywapitch_computepitch(&t, x.data(), -1, 512), "negative start");
    EXPECT_EQ(dywapitch_computepitch(nullptr, x.data(), 0, 512), 0.0);
    dywapitch_inittracking(nullptr);
}

// A window with no pitch in it, whatever the reason, is a gap that the
// history bridges: from (220, 3) each returns 220 and leaves (220, 2).
TEST(Interface, ShortAndNonFiniteWindowsAreGapsTheHistoryBridges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto withAt = [](double v) {
        auto x = signals::sine(220.0, 1024);
        x[300] = v;
        return x;
    };
    const std::vector<double> sine = signals::sine(220.0, 1024), nanWindow = withAt(nan),
                              infWindow = withAt(-inf);
    struct Case {
        const char *what;
        const std::vector<double> *x;
        int count;
    } cases[] = {{"count 0", &sine, 0},         {"count 1", &sine, 1},
                 {"count 3", &sine, 3},         {"NaN", &nanWindow, 512},
                 {"infinity", &infWindow, 700}, {"NaN floored away", &nanWindow, 300}};
    for (const Case &c : cases) {
        _dywapitchtracker t{220.0, 3};
        const double pitch = dywapitch_computepitch(&t, c.x->data(), 0, c.count);
        if (c.count == 300) {
            // The floored window (256 samples) never reaches the NaN: a pitch.
            EXPECT_NEAR(signals::cents(pitch, 220.0), 0.0, 20.0) << c.what;
            continue;
        }
        EXPECT_EQ(pitch, 220.0) << c.what;
        EXPECT_EQ(t._lastPitch, 220.0) << c.what;
        EXPECT_EQ(t._confidence, 2) << c.what;
    }

    // Run out of trust, the gaps end the pitch: 220, 220, then 0.0 and (-1, 0).
    _dywapitchtracker t{220.0, 2};
    EXPECT_EQ(dywapitch_computepitch(&t, nanWindow.data(), 0, 512), 220.0);
    EXPECT_EQ(dywapitch_computepitch(&t, sine.data(), 0, 0), 0.0);
    EXPECT_EQ(t._confidence, 0);
    EXPECT_EQ(dywapitch_computepitch(&t, infWindow.data(), 0, 512), 0.0);
    EXPECT_EQ(t._lastPitch, -1.0);
    EXPECT_EQ(t._confidence, 0);
    // A fresh record stays fresh through a gap.
    dywapitch_inittracking(&t);
    EXPECT_EQ(dywapitch_computepitch(&t, nanWindow.data(), 0, 512), 0.0);
    EXPECT_EQ(t._lastPitch, -1.0);
    EXPECT_EQ(t._confidence, -1);
}

TEST(Interface, UsableFromC) {
    const auto x = signals::sine(330.0, 512 * 8);
    const double pitch = c_caller_track(x.data(), 512 * 8, 8);
    EXPECT_NEAR(signals::cents(pitch, 330.0), 0.0, 20.0);
}

} // namespace
