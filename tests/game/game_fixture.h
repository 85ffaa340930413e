// Puts the game state back to its values at load before each test, and
// captures what the handlers print.
#pragma once

#include <cstdlib>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include <game/controls.h>
#include <game/state.h>

class GameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_freq = 440.0;
        gen_sine = false;
        pitch_listen = false;
        tracker_reset = false;
        for (auto &entry : pitchArray)
            entry = 0.0;
        g_t = 0.0;
        dywapitch_inittracking(&pitchtracker);
        stop_sound = false;
        average = 0.0;
        bufferSize = kPitchFrames;
        x_adj = 0.0;
        y_adj = 0.0;
        arrow_move = false;
        w_width = 800;
        w_height = 800;
        setWindowRequests({nullptr, nullptr, nullptr, nullptr});
        saved_ = std::cout.rdbuf(printed_.rdbuf());
    }
    void TearDown() override { std::cout.rdbuf(saved_); }

    std::string printed() const { return printed_.str(); }

  private:
    std::ostringstream printed_;
    std::streambuf *saved_ = nullptr;
};
