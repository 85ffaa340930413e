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

TEST(Interface, BadInputGivesNoPitchAndLeavesTheRecord) {
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
    unchanged(dywapitch_computepitch(&t, x.data(), 0, 0), "zero count");
    unchanged(dywapitch_computepitch(&t, x.data(), 0, -512), "negative count");
    unchanged(dywapitch_computepitch(&t, x.data(), -1, 512), "negative start");
    x[300] = std::numeric_limits<double>::quiet_NaN();
    unchanged(dywapitch_computepitch(&t, x.data(), 0, 512), "NaN");
    x[300] = -std::numeric_limits<double>::infinity();
    unchanged(dywapitch_computepitch(&t, x.data(), 0, 700), "infinity");
    EXPECT_EQ(dywapitch_computepitch(nullptr, x.data(), 0, 512), 0.0);
    dywapitch_inittracking(nullptr);

    // Past the examined samples a bad value does not matter, and the record
    // goes on working.
    EXPECT_EQ(_dywapitch_windowisvalid(x.data(), 512, 256), 1);
    EXPECT_EQ(_dywapitch_windowisvalid(x.data(), 0, 300), 1);
    EXPECT_EQ(_dywapitch_windowisvalid(x.data(), 0, 512), 0);
    EXPECT_GT(dywapitch_computepitch(&t, x.data(), 512, 512), 0.0);
}

TEST(Interface, UsableFromC) {
    const auto x = signals::sine(330.0, 512 * 8);
    const double pitch = c_caller_track(x.data(), 512 * 8, 8);
    EXPECT_NEAR(signals::cents(pitch, 330.0), 0.0, 20.0);
}

} // namespace
