// One round replayed on samples through the game's own handlers and callback:
// what pitchtrack --judge and the figures' round simulation both rely on.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include <game/replay.h>
#include <game/state.h>

#include "game_fixture.h"

namespace {

class ReplayTest : public GameTest {};

std::vector<double> sung(double hz, std::size_t count) {
    std::vector<double> take(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        take[i] = 0.4 * std::sin(2 * M_PI * hz * t) + 0.2 * std::sin(4 * M_PI * hz * t);
    }
    return take;
}

} // namespace

TEST_F(ReplayTest, JudgesTheTakeAsTheGameWouldAndHearsWholeBlocksOnly) {
    // Twenty blocks and a tail the release cuts off.
    const auto take = sung(220.0, 20 * kPitchFrames + 100);
    std::vector<std::size_t> heard;
    x_adj = y_adj = 0.3; // a previous shot, which the fresh run has cleared
    const auto inTune = arrowsong::replayRound(take.data(), take.size(), 220.0,
                                               [&](std::size_t b) { heard.push_back(b); });
    ASSERT_EQ(heard.size(), 20u);
    EXPECT_EQ(heard.back(), 19u);
    EXPECT_NEAR(1200.0 * std::log2(inTune.average / 220.0), 0.0, 5.0);
    EXPECT_EQ(inTune.yAdj, 0.0);
    EXPECT_EQ(inTune.average, average) << "the game's own average";
    EXPECT_NE(printed().find("Goal frequency: 220\n"), std::string::npos) << printed();

    // A semitone sharp of the goal lands above the centre; silence, below.
    EXPECT_GT(arrowsong::replayRound(take.data(), take.size(), 207.652).yAdj, 0.0);
    const std::vector<double> silence(4 * kPitchFrames, 0.0);
    const auto none = arrowsong::replayRound(silence.data(), silence.size(), 220.0);
    EXPECT_EQ(none.average, 0.0);
    EXPECT_LT(none.yAdj, 0.0);
}
