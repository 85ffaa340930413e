// The keyboard and mouse handlers: tone states, test shots, listening, and
// what they ask of the window.
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <game/controls.h>
#include <game/rules.h>
#include <util/XFun.h>

#include "game_fixture.h"

namespace {

struct WindowLog {
    int redisplays = 0;
    int fullScreens = 0;
    int resizedTo[2] = {-1, -1};
    int viewFor[2] = {-1, -1};
};
WindowLog window;

void installWindowLog() {
    window = WindowLog();
    setWindowRequests({[] { ++window.redisplays; }, [] { ++window.fullScreens; },
                       [](int w, int h) { window.resizedTo[0] = w, window.resizedTo[1] = h; },
                       [](int w, int h) { window.viewFor[0] = w, window.viewFor[1] = h; }});
}

void key(unsigned char k) {
    keyboardFunc(k, 10, 20);
}

} // namespace

class ControlsTest : public GameTest {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        installWindowLog();
    }
};

TEST_F(ControlsTest, SpaceStartsAToneOfANoteFrom36To59) {
    ::srandom(42);
    const long expected = 36 + ::random() % 24;
    ::srandom(42);
    key(' ');
    EXPECT_TRUE(gen_sine);
    EXPECT_TRUE(stop_sound);
    EXPECT_EQ(g_freq, XFun::midi2freq(static_cast<double>(expected)));
    const std::string freq = (std::ostringstream() << g_freq.load()).str();
    EXPECT_EQ(printed(), "MIDI: " + std::to_string(expected) + "\nFreq: " + freq + "\n");
    EXPECT_EQ(window.redisplays, 1);

    for (int i = 0; i < 200; ++i) { // every goal stays in the playable range
        gen_sine = false;
        stop_sound = false;
        key(' ');
        ASSERT_GE(g_freq, XFun::midi2freq(36.0));
        ASSERT_LE(g_freq, XFun::midi2freq(59.0));
    }
}

TEST_F(ControlsTest, ARoundWalksTheThreeToneStates) {
    key(' '); // silent -> sounding
    ASSERT_TRUE(gen_sine);
    mouseFunc(kLeftButton, kButtonDown, 0, 0);
    EXPECT_TRUE(pitch_listen);
    EXPECT_TRUE(gen_sine);                   // pressing does not touch the tone
    mouseFunc(kLeftButton, kButtonUp, 0, 0); // sounding -> silenced after a shot
    EXPECT_FALSE(gen_sine);
    EXPECT_TRUE(stop_sound);
    EXPECT_FALSE(pitch_listen);
    EXPECT_TRUE(arrow_move);
    EXPECT_NE(printed().find("Your frequency average: 0\n"), std::string::npos);

    const double goal = g_freq;
    x_adj = 0.3;
    y_adj = -0.5;
    key(' '); // only clears the shot
    EXPECT_FALSE(gen_sine);
    EXPECT_FALSE(stop_sound);
    EXPECT_EQ(x_adj, 0.0);
    EXPECT_EQ(y_adj, 0.0);
    EXPECT_EQ(g_freq, goal);
    key(' '); // a new tone
    EXPECT_TRUE(gen_sine);
}

TEST_F(ControlsTest, SpaceWhileSoundingStopsWithoutANewFlight) {
    key(' ');
    arrow_move = false;
    x_adj = 0.2;
    y_adj = 0.1;
    key(' ');
    EXPECT_FALSE(gen_sine);
    EXPECT_FALSE(stop_sound);
    EXPECT_EQ(x_adj, 0.0);
    EXPECT_EQ(y_adj, 0.0);
    EXPECT_FALSE(arrow_move);
}

TEST_F(ControlsTest, TestShotKeysFireEachBand) {
    const struct {
        unsigned char key;
        double height;
    } shots[] = {{'z', -0.5}, {'x', -0.35}, {'c', -0.25}, {'v', -0.1},
                 {'n', 0.1},  {'m', 0.25},  {',', 0.35},  {'.', 0.5}};
    for (const auto &s : shots) {
        srandLanding(11);
        const int r = randLanding();
        srandLanding(11);
        arrow_move = false;
        key(s.key);
        EXPECT_EQ(y_adj, s.height) << s.key;
        EXPECT_NEAR(x_adj, 0.5 - r / 2147483648.0, 1e-7) << s.key;
        EXPECT_TRUE(arrow_move) << s.key;
    }
    EXPECT_EQ(window.redisplays, 8);
}

TEST_F(ControlsTest, ResetThenBFiresAtTheCentre) {
    key('.');
    key('/');
    EXPECT_EQ(x_adj, 0.0);
    EXPECT_EQ(y_adj, 0.0);
    EXPECT_FALSE(arrow_move);
    key('b');
    EXPECT_TRUE(arrow_move);
    EXPECT_EQ(x_adj, 0.0);
    EXPECT_EQ(y_adj, 0.0);
}

TEST_F(ControlsTest, ListeningByKeyAndJudgingTheStoredAverage) {
    key('l');
    EXPECT_TRUE(pitch_listen);
    EXPECT_TRUE(tracker_reset);
    key(';'); // judges the initial 0.0 average: the lowest band
    EXPECT_FALSE(pitch_listen);
    EXPECT_EQ(y_adj, -0.5);
    EXPECT_TRUE(arrow_move);
    EXPECT_EQ(printed(), ""); // nothing printed, not recomputed
}

TEST_F(ControlsTest, OnlyTheLeftAndRightButtonsAct) {
    mouseFunc(kMiddleButton, kButtonDown, 5, 5);
    EXPECT_FALSE(pitch_listen);
    EXPECT_FALSE(tracker_reset);
    pitch_listen = true;
    mouseFunc(kMiddleButton, kButtonUp, 5, 5);
    EXPECT_TRUE(pitch_listen);
    mouseFunc(3, kButtonUp, 5, 5); // a button beyond the three named ones
    EXPECT_EQ(printed(), "");
    EXPECT_FALSE(arrow_move);
    for (int button : {kLeftButton, kRightButton}) {
        pitch_listen = false;
        tracker_reset = false;
        mouseFunc(button, kButtonDown, 5, 5);
        EXPECT_TRUE(pitch_listen);
        EXPECT_TRUE(tracker_reset);
    }
    mouseFunc(kRightButton, kButtonUp, 5, 5);
    EXPECT_FALSE(pitch_listen);
    EXPECT_TRUE(arrow_move);
    EXPECT_EQ(window.redisplays, 0); // the idle handler keeps frames coming
}

TEST_F(ControlsTest, ReleaseWithoutAToneStillJudges) {
    mouseFunc(kLeftButton, kButtonUp, 0, 0);
    EXPECT_FALSE(stop_sound);
    EXPECT_EQ(printed(), "Goal frequency: 440\nYour frequency average: 0\n");
    EXPECT_EQ(y_adj, -0.5);
}

TEST_F(ControlsTest, OtherKeysOnlyRedisplay) {
    for (int k : {int{'Q'}, int{'L'}, int{'Z'}, int{'a'}, int{'1'}, int{'\r'}, 200}) {
        key(static_cast<unsigned char>(k));
    }
    EXPECT_EQ(window.redisplays, 7);
    EXPECT_FALSE(pitch_listen);
    EXPECT_FALSE(arrow_move);
    EXPECT_FALSE(gen_sine);
    EXPECT_EQ(y_adj, 0.0);
    idleFunc();
    EXPECT_EQ(window.redisplays, 8);
}

TEST_F(ControlsTest, WindowKeys) {
    key('r'); // before any reshape: 800 by 800
    EXPECT_EQ(window.resizedTo[0], 800);
    EXPECT_EQ(window.resizedTo[1], 800);
    EXPECT_EQ(window.viewFor[0], 800);
    w_width = 640;
    w_height = 360;
    key('r');
    EXPECT_EQ(window.resizedTo[0], 640);
    EXPECT_EQ(window.viewFor[1], 360);
    key('f');
    EXPECT_EQ(window.fullScreens, 1);
    EXPECT_EQ(window.redisplays, 3);
}

TEST_F(ControlsTest, WithoutAWindowRequestsAreDropped) {
    setWindowRequests({nullptr, nullptr, nullptr, nullptr});
    key('r');
    key('f');
    idleFunc();
    EXPECT_EQ(w_width, 800);
}

TEST(ControlsExit, QQuitsWithStatusZero) {
    EXPECT_EXIT(keyboardFunc('q', 0, 0), ::testing::ExitedWithCode(0), "");
}
