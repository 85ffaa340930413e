// The input lag watch on block arrival times made up to match a stream that
// runs steadily, pauses, is held up, or runs off the system clock.
#include <cstdint>

#include <gtest/gtest.h>

#include "input_lag.h"

namespace {

using arrowsong::detail::InputLagWatch;

constexpr double kRate = 44100.0;
constexpr unsigned kBlock = 512;
constexpr double kBlockNs = kBlock / kRate * 1e9;

// Feeds blocks that arrive every `period` nanoseconds, starting at `at`;
// returns the time after the last.
double feed(InputLagWatch &watch, double at, int blocks, double period = kBlockNs) {
    for (int k = 0; k < blocks; ++k, at += period)
        watch.block(static_cast<std::int64_t>(at), kBlock);
    return at;
}

TEST(InputLagWatch, StreamsThatKeepUpAreLeftAlone) {
    // An hour in time, with the blocks a few milliseconds late by turns.
    InputLagWatch steady(kRate);
    double at = 1e12;
    for (int k = 0; k < 310'000; ++k, at += kBlockNs)
        steady.block(static_cast<std::int64_t>(at + (k % 3 == 0 ? 8e6 : 0.0)), kBlock);
    EXPECT_EQ(steady.lagSeconds(), 0.0);

    // A fresh stream that pauses 2 s after its first block holds nothing back.
    InputLagWatch paused(kRate);
    at = feed(paused, 0.0, 1);
    feed(paused, at + 2e9, 1000);
    EXPECT_EQ(paused.lagSeconds(), 0.0);

    // Held up for less than the output buffer lasts, the stream catches up
    // with blocks that follow each other at once.
    InputLagWatch caughtUp(kRate);
    at = feed(caughtUp, 0.0, 100);
    at = feed(caughtUp, at + 150e6, 13, 0.0);
    feed(caughtUp, at, 1000);
    EXPECT_EQ(caughtUp.lagSeconds(), 0.0);

    // Sound cards that run 300 ppm fast or slow against the system clock,
    // for an hour.
    for (double drift : {-300e-6, 300e-6}) {
        InputLagWatch drifting(kRate);
        feed(drifting, 0.0, 310'000, kBlockNs * (1.0 + drift));
        EXPECT_EQ(drifting.lagSeconds(), 0.0) << "drift " << drift;
    }
}

TEST(InputLagWatch, AHoldUpThatIsNeverCaughtUpIsMeasuredOnce) {
    InputLagWatch watch(kRate);
    double at = feed(watch, 0.0, 200);
    // 3 s without a block, then blocks at the normal pace: 3 s behind.
    at = feed(watch, at + 3e9, 1);
    EXPECT_NEAR(watch.lagSeconds(), 3.0, 0.02);
    feed(watch, at, 100);
    EXPECT_NEAR(watch.lagSeconds(), 3.0, 0.02) << "measured once, then left";

    // Dismissed (the server fell silent, the game was not held up), it
    // measures from the next block on, and finds the next hold-up.
    watch.dismiss();
    at = feed(watch, at, 100);
    EXPECT_EQ(watch.lagSeconds(), 0.0);
    at = feed(watch, at + 1e9, 1);
    EXPECT_NEAR(watch.lagSeconds(), 1.0, 0.02);

    // Opened again, the watch starts afresh, and also finds lag that builds
    // up from hold-ups each too short to notice on its own.
    watch.reset();
    EXPECT_EQ(watch.lagSeconds(), 0.0);
    at = feed(watch, at + 1e9, 100);
    at = feed(watch, at + 0.1e9, 50);
    at = feed(watch, at + 0.1e9, 50);
    EXPECT_EQ(watch.lagSeconds(), 0.0) << "0.2 s behind is not yet worth a restart";
    feed(watch, at + 0.1e9, 50);
    EXPECT_NEAR(watch.lagSeconds(), 0.3, 0.02);
}

} // namespace
