// The audio callback on its own thread while the main thread plays rounds
// through the handlers, as in the running game. Built under ThreadSanitizer
// too, where any unsafely shared value fails the run.
#include <atomic>
#include <chrono>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <game/audio.h>
#include <game/controls.h>
#include <game/state.h>

#include "sung_signals.h"

namespace {

std::atomic<long> blocks{0};

void audioThread(const std::atomic<bool> &stop) {
    std::vector<double> in = testsignal::voice(220.0, 512), out(512);
    while (!stop.load(std::memory_order_relaxed)) {
        audioCallback(out.data(), in.data(), 512, 0.0, 0, nullptr);
        blocks.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::yield();
    }
}

void waitBlocks(long count) {
    const long until = blocks.load() + count;
    while (blocks.load() < until)
        std::this_thread::yield();
}

} // namespace

TEST(GameThreads, RoundsWhileTheCallbackRuns) {
    std::ostringstream printed;
    std::streambuf *saved = std::cout.rdbuf(printed.rdbuf());
    dywapitch_inittracking(&pitchtracker);
    std::atomic<bool> stop{false};
    std::thread audio(audioThread, std::cref(stop));
    for (int round = 0; round < 40; ++round) {
        keyboardFunc(' ', 0, 0);
        waitBlocks(1);
        const int button = round % 2 == 0 ? kLeftButton : kRightButton;
        mouseFunc(button, kButtonDown, 0, 0);
        waitBlocks(3); // a press, then whole listening blocks
        mouseFunc(button, kButtonUp, 0, 0);
        ASSERT_NEAR(average, 220.0, 2.0) << "round " << round;
        keyboardFunc(' ', 0, 0);
        keyboardFunc('l', 0, 0);
        keyboardFunc(';', 0, 0);
    }
    stop = true;
    audio.join();
    std::cout.rdbuf(saved);
    EXPECT_NE(printed.str().find("Your frequency average: "), std::string::npos);
}
