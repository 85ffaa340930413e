// Round rules: the average, the eight bands and their boundaries, and the
// landing draws each judgement costs.
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include <game/rules.h>

#include "game_fixture.h"

namespace {

const double B = std::pow(std::pow(2.0, 0.08333333333333333), 0.2);

// Landing draws that shootArrow took, seen from the generator's sequence.
int drawsTaken(unsigned seed, void (*action)()) {
    srandLanding(seed);
    std::vector<int> sequence;
    for (int i = 0; i < 4; ++i)
        sequence.push_back(randLanding());
    srandLanding(seed);
    action();
    const int next = randLanding();
    for (int i = 0; i < 4; ++i)
        if (sequence[static_cast<size_t>(i)] == next)
            return i;
    return -1;
}

void judge() {
    shootArrow(average);
}

} // namespace

using RulesTest = GameTest;

TEST_F(RulesTest, EveryBandSetsItsHeightAndDrawsOnce) {
    struct Case {
        double factor;
        double height;
    };
    const Case cases[] = {
        {std::pow(B, 5.5), 0.5},       {std::pow(B, 4.5), 0.35},     {std::pow(B, 3.5), 0.25},
        {std::pow(B, 2.5), 0.1},       {1 / std::pow(B, 2.5), -0.1}, {1 / std::pow(B, 3.5), -0.25},
        {1 / std::pow(B, 4.5), -0.35}, {1 / std::pow(B, 5.5), -0.5},
    };
    for (const Case &c : cases) {
        g_freq = 311.127;
        average = 311.127 * c.factor;
        x_adj = 9.0;
        y_adj = 9.0;
        arrow_move = false;
        EXPECT_EQ(drawsTaken(17u, judge), 1) << c.height;
        EXPECT_EQ(y_adj, c.height);
        EXPECT_GE(x_adj, -0.5);
        EXPECT_LE(x_adj, 0.5);
        EXPECT_TRUE(arrow_move);
    }
}

TEST_F(RulesTest, WithinTwoStepsTheShotKeepsItsOffsets) {
    for (double sung : {440.0, 440.0 * std::pow(B, 2), 440.0 / std::pow(B, 2), 440.0 * 1.02}) {
        average = sung;
        x_adj = 0.125;
        y_adj = -0.25;
        arrow_move = false;
        EXPECT_EQ(drawsTaken(5u, judge), 0) << sung;
        EXPECT_EQ(x_adj, 0.125);
        EXPECT_EQ(y_adj, -0.25);
        EXPECT_TRUE(arrow_move);
    }
}

TEST_F(RulesTest, BoundariesBelongToTheNearerBand) {
    const struct {
        double sung;
        double height;
    } cases[] = {
        {440.0 * std::pow(B, 5), 0.35},
        {440.0 / std::pow(B, 5), -0.35},
        {440.0 * std::pow(B, 4), 0.25},
        {440.0 / std::pow(B, 4), -0.25},
        {440.0 * std::pow(B, 3), 0.1},
        {440.0 / std::pow(B, 3), -0.1},
        {std::nextafter(440.0 * std::pow(B, 5), 1e9), 0.5},
        {0.0, -0.5}, // no pitch tracked at all: the lowest band
    };
    for (const auto &c : cases) {
        average = c.sung;
        shootArrow(average);
        EXPECT_EQ(y_adj, c.height) << c.sung;
    }
}

TEST_F(RulesTest, HorizontalDrawSpansTheBoardFromRightToLeft) {
    srandLanding(3);
    double low = 1.0, high = -1.0;
    for (int i = 0; i < 20000; ++i) {
        const double x = generateRandom();
        ASSERT_EQ(x, x_adj);
        low = std::min(low, x);
        high = std::max(high, x);
    }
    EXPECT_GE(low, -0.5);
    EXPECT_LE(high, 0.5);
    EXPECT_LT(low, -0.49);
    EXPECT_GT(high, 0.49);
    // HI lies below LO: a small draw lands at the right.
    srandLanding(3);
    const int r = randLanding();
    srandLanding(3);
    EXPECT_NEAR(generateRandom(), 0.5 - r / 2147483648.0, 1e-7);
}

TEST_F(RulesTest, AverageCountsEveryEntryAndIsPrinted) {
    for (unsigned i = 0; i < 256; ++i)
        pitchArray[i] = 440.0; // the other half never received a pitch
    g_freq = 440.0;
    EXPECT_EQ(computePitchAverage(), 220.0);
    EXPECT_EQ(average, 220.0);
    EXPECT_EQ(printed(), "Goal frequency: 440\nYour frequency average: 220\n");
}

TEST_F(RulesTest, AverageOfALargerGrantUsesTheStoredFrames) {
    for (auto &entry : pitchArray)
        entry = 200.0;
    bufferSize = 1024;
    EXPECT_EQ(computePitchAverage(), 200.0);
    bufferSize = 128;
    pitchArray[200] = 0.0; // beyond this block: not counted
    EXPECT_EQ(computePitchAverage(), 200.0);
}

// The goal notes come from random(), which the C library shares with rand():
// the landing draws must neither disturb it nor differ from rand()'s.
TEST_F(RulesTest, LandingDrawsLeaveTheGoalNotesAlone) {
    ::srandom(1);
    const long first = ::random();
    const long second = ::random();
    ::srandom(1);
    srandLanding(987654321u);
    generateRandom();
    EXPECT_EQ(::random(), first);
    randLanding();
    EXPECT_EQ(::random(), second);

    std::srand(2024u);
    const int r1 = std::rand(), r2 = std::rand();
    srandLanding(2024u);
    EXPECT_EQ(randLanding(), r1);
    EXPECT_EQ(randLanding(), r2);
}
