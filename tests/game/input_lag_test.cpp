// The input lag watch on block arrival times and main-thread frames made up to
// match a stream that runs steadily, pauses, is held up, or runs off the
// system clock.
#include <cstdint>

#include <gtest/gtest.h>

#include "input_lag.h"

namespace {

using arrowsong::detail::InputLagWatch;

constexpr double kRate = 44100.0;
constexpr unsigned kBlock = 512;
constexpr double kBlockNs = kBlock / kRate * 1e9;
constexpr double kFrameNs = 8e6; // the main thread between frames

// The two threads on a made-up clock: blocks arrive every period and the main
// thread checks every frame, unless one of them is held up.
struct Game {
    InputLagWatch watch{kRate};
    double now = 1e12;
    double next_block = now;
    double next_frame = now;
    double acted_on = 0.0; // the last lag check() returned

    // Runs both threads for the given time, blocks `period` apart.
    void run(double seconds, double period = kBlockNs) {
        const double end = now + seconds * 1e9;
        while (now < end) {
            if (next_block <= next_frame) {
                now = next_block;
                watch.block(static_cast<std::int64_t>(now), kBlock);
                next_block += period;
            } else {
                now = next_frame;
                if (const double lag = watch.check(static_cast<std::int64_t>(now)); lag > 0.0)
                    acted_on = lag;
                next_frame += kFrameNs;
            }
        }
    }
    // Neither thread runs; the stream's server goes on recording.
    void holdUp(double seconds) {
        now += seconds * 1e9;
        next_block = next_frame = now;
    }
    // The server falls silent; the main thread goes on drawing.
    void serverSilent(double seconds) { next_block = now + seconds * 1e9; }
};

TEST(InputLagWatch, StreamsThatKeepUpAreNeverBehind) {
    // An hour, with every third block 8 ms late.
    InputLagWatch steady(kRate);
    double at = 0.0;
    for (int k = 0; k < 310'000; ++k, at += kBlockNs)
        steady.block(static_cast<std::int64_t>(at + (k % 3 == 0 ? 8e6 : 0.0)), kBlock);
    EXPECT_EQ(steady.lagSeconds(), 0.0);

    // Held up for less than the output buffer lasts, a stream catches up with
    // blocks that follow each other at once.
    InputLagWatch caughtUp(kRate);
    at = 0.0;
    for (int k = 0; k < 100; ++k, at += kBlockNs)
        caughtUp.block(static_cast<std::int64_t>(at), kBlock);
    at += 300e6;
    for (int k = 0; k < 26; ++k)
        caughtUp.block(static_cast<std::int64_t>(at), kBlock);
    for (int k = 0; k < 1000; ++k, at += kBlockNs)
        caughtUp.block(static_cast<std::int64_t>(at), kBlock);
    EXPECT_EQ(caughtUp.lagSeconds(), 0.0);

    // Sound cards 300 ppm fast or slow against the system clock, for an hour.
    for (double drift : {-300e-6, 300e-6}) {
        Game game;
        game.run(3600.0, kBlockNs * (1.0 + drift));
        EXPECT_EQ(game.watch.lagSeconds(), 0.0) << "drift " << drift;
        EXPECT_EQ(game.acted_on, 0.0) << "drift " << drift;
    }
}

TEST(InputLagWatch, OnlyAHoldUpOfTheGameItselfIsActedOn) {
    Game game;
    // A fresh stream that pauses 2 s after its first block, and a server
    // silent for a second later on: time lost, nothing held back.
    game.run(0.001);
    game.serverSilent(2.0);
    game.run(3.0);
    game.serverSilent(1.0);
    game.run(3.0);
    EXPECT_EQ(game.acted_on, 0.0);
    EXPECT_EQ(game.watch.lagSeconds(), 0.0) << "dismissed, measured afresh";

    // Held up for 3 s: acted on once the game runs again, once only.
    game.holdUp(3.0);
    game.run(0.1);
    EXPECT_NEAR(game.acted_on, 3.0, 0.02);
    EXPECT_NEAR(game.watch.lagSeconds(), 3.0, 0.02) << "kept until the stream is opened again";

    // Opened again, the watch starts afresh, and the new stream's pause
    // after its first block is no hold-up of the game; a hold-up too short
    // to act on leaves nothing.
    game.watch.reset();
    game.acted_on = 0.0;
    game.run(0.001);
    game.serverSilent(2.0);
    game.run(4.0);
    game.holdUp(0.4);
    game.run(2.0);
    EXPECT_EQ(game.acted_on, 0.0);
    EXPECT_NEAR(game.watch.lagSeconds(), 0.0, 1e-9);
}

TEST(InputLagWatch, LagThatBuildsUpIsActedOnAtTheHoldUpThatCrossesTheLimit) {
    Game game;
    game.run(5.0);
    // Three hold-ups of a quarter of a second, each beyond what the output
    // buffer could make up (here: nothing); the third takes the lag past half
    // a second.
    game.holdUp(0.25);
    game.run(1.0);
    game.holdUp(0.25);
    game.run(1.0);
    EXPECT_EQ(game.acted_on, 0.0);
    game.holdUp(0.25);
    game.run(0.1);
    // Each hold-up is measured from the block that ends it: a block short.
    EXPECT_NEAR(game.acted_on, 0.75 - 3 * kBlock / kRate, 0.015);
}

TEST(InputLagWatch, FramesDelayedByABusyMachineAreNoHoldUp) {
    // The main thread's frames 100 ms apart, and a server silent for a
    // second: not the game's doing.
    Game game;
    game.run(5.0);
    game.serverSilent(1.0);
    for (int k = 0; k < 20; ++k) {
        game.next_frame = game.now + 100e6;
        game.run(0.1);
    }
    EXPECT_EQ(game.acted_on, 0.0);
}

TEST(InputLagWatch, HoldUpsAreJudgedAgainstTheGamesOwnFrameInterval) {
    // Software GL at four frames a second: a server pause of 0.7 s is no
    // hold-up of the game, but a stop of 3 s is.
    Game game;
    game.run(5.0);
    game.next_frame = game.now;
    auto slowFrames = [&](double seconds) {
        for (double t = 0.0; t < seconds; t += 0.25) {
            game.next_frame = game.now + 250e6;
            game.run(0.25);
        }
    };
    slowFrames(12.0); // the usual interval settles, and the 8 ms frames before are forgotten
    game.serverSilent(0.7);
    slowFrames(3.0);
    EXPECT_EQ(game.acted_on, 0.0);
    game.holdUp(3.0);
    slowFrames(0.5);
    EXPECT_NEAR(game.acted_on, 3.0, 0.02);
}

TEST(InputLagWatch, OnlyTheRecentHoldUpsCountAndTheyMayAddUpToHalfTheLag) {
    // Two hold-ups of 0.3 s, 5.5 s apart: the first is forgotten, the second
    // alone is half the lag both left behind.
    Game game;
    game.run(5.0);
    game.holdUp(0.3);
    game.run(5.5);
    game.holdUp(0.3);
    game.run(0.1);
    EXPECT_NEAR(game.acted_on, 0.6 - 2 * kBlock / kRate, 0.01);
}

TEST(InputLagWatch, AStreamOpenedAgainHasItsFirstSecondsExempt) {
    Game game;
    game.run(6.0);
    game.watch.reset();
    // A hold-up in the new stream's first seconds is the stream's own start.
    game.run(1.0);
    game.holdUp(1.0);
    game.run(1.0);
    EXPECT_EQ(game.acted_on, 0.0);
    EXPECT_EQ(game.watch.lagSeconds(), 0.0);
}

} // namespace
