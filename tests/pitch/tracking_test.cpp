// The tracking stage: acceptance, octave correction and gap bridging.
#include "dywapitch_internal.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

_dywapitchtracker record(double lastPitch, int confidence) {
    _dywapitchtracker t;
    t._lastPitch = lastPitch;
    t._confidence = confidence;
    return t;
}

_dywapitchtracker fresh() {
    _dywapitchtracker t;
    dywapitch_inittracking(&t);
    return t;
}

#define EXPECT_RECORD(t, pitch, confidence)                                                        \
    do {                                                                                           \
        EXPECT_EQ((t)._lastPitch, (pitch));                                                        \
        EXPECT_EQ((t)._confidence, (confidence));                                                  \
    } while (0)

TEST(Tracking, FreshRecord) {
    auto t = fresh();
    EXPECT_RECORD(t, -1.0, -1);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 0.0);
    EXPECT_RECORD(t, -1.0, -1);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 220.0), 220.0);
    EXPECT_RECORD(t, 220.0, 1);
}

TEST(Tracking, ConfidenceGrowsToFive) {
    auto t = fresh();
    const int expected[] = {1, 2, 3, 4, 5, 5, 5};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(_dywapitch_dynamicprocess(&t, 220.0 + k), 220.0 + k);
        EXPECT_RECORD(t, 220.0 + k, expected[k]);
    }
}

TEST(Tracking, OctaveCorrectionNeedsConfidenceThree) {
    auto t = record(220.0, 3);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 110.0), 220.0);
    EXPECT_RECORD(t, 220.0, 3);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 440.0), 220.0);
    EXPECT_RECORD(t, 220.0, 3);
    // An estimate near half the pitch is doubled: 2 x 105 = 210 is close.
    // Which factor is tried first cannot show: the close candidates form one
    // interval around the last pitch, so whenever 2e and e / 2 are both
    // close, e itself, lying between them, is close and taken as it is.
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 105.0), 210.0);
    EXPECT_RECORD(t, 210.0, 3);

    t = record(220.0, 2);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 110.0), 220.0);
    EXPECT_RECORD(t, 220.0, 1);
}

TEST(Tracking, WildEstimatesSpendConfidence) {
    auto t = record(220.0, 1);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 500.0), 0.0);
    EXPECT_RECORD(t, 220.0, 0);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 500.0), 500.0);
    EXPECT_RECORD(t, 500.0, 1);
}

TEST(Tracking, GapsAreBridgedWhileConfidenceLasts) {
    auto t = record(220.0, 3);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 220.0);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 220.0);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 0.0);
    EXPECT_RECORD(t, 220.0, 0);
    EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 0.0);
    EXPECT_RECORD(t, -1.0, 0);
}

// Closeness counts the difference in whole hertz, divides by the candidate,
// and compares with the single-precision 0.2.
TEST(Tracking, ClosenessRule) {
    struct Case {
        double last, estimate;
        bool close;
    } const cases[] = {
        {100.0, 83.3, true},   // 16.7 counts as 16
        {100.0, 83.0, false},  // 17 / 83
        {120.0, 100.0, true},  // exactly the double 0.2
        {120.0, 99.0, false},  // 21 / 99
        {100.0, 120.0, true},  // 20 / 120: the divisor is the candidate
        {100.0, 125.0, true},  // 25 / 125 = 0.2 again
        {100.0, 126.0, false}, // 26 / 126
    };
    for (const Case &c : cases) {
        auto t = record(c.last, 1);
        const double out = _dywapitch_dynamicprocess(&t, c.estimate);
        if (c.close) {
            EXPECT_EQ(out, c.estimate) << c.last << " -> " << c.estimate;
            EXPECT_RECORD(t, c.estimate, 2);
        } else {
            EXPECT_EQ(out, 0.0) << c.last << " -> " << c.estimate;
            EXPECT_RECORD(t, c.last, 0);
        }
    }
}

TEST(Tracking, NonPitchInputsAndBrokenRecordsStayDefined) {
    const double odd[] = {-5.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 1e308};
    for (double e : odd) {
        auto t = record(220.0, 3);
        EXPECT_EQ(_dywapitch_dynamicprocess(&t, e), 220.0) << e;
        EXPECT_RECORD(t, 220.0, 2);
    }
    EXPECT_EQ(_dywapitch_dynamicprocess(nullptr, 220.0), 0.0);

    // A record that no sequence of calls can produce is taken as never
    // initialised and starts afresh.
    const _dywapitchtracker broken[] = {
        record(std::numeric_limits<double>::quiet_NaN(), 2),
        record(220.0, 2147483647),
        record(-1e300, 1),
        record(std::numeric_limits<double>::infinity(), 3),
        record(220.0, -2147483647 - 1),
    };
    for (auto t : broken) {
        EXPECT_EQ(_dywapitch_dynamicprocess(&t, 300.0), 300.0);
        EXPECT_RECORD(t, 300.0, 1);
        t = broken[0];
        EXPECT_EQ(_dywapitch_dynamicprocess(&t, 0.0), 0.0);
        EXPECT_RECORD(t, -1.0, -1);
    }
}

} // namespace
