#include "game/controls.h"

#include <cstdlib>
#include <iostream>

#include <util/XFun.h>

#include "game/audio.h"
#include "game/rules.h"
#include "game/state.h"

namespace {

WindowRequests window = {nullptr, nullptr, nullptr, nullptr};

void requestRedisplay() {
    if (window.redisplay != nullptr)
        window.redisplay();
}

void startListening() {
    // The reset request must be visible before the flag that makes the audio
    // thread act on it, hence release (paired with the callback's acquire).
    tracker_reset.store(true, std::memory_order_relaxed);
    pitch_listen.store(true, std::memory_order_release);
}

void startTone() {
    const long note = XFun::rand2i(24, 36);
    const double freq = XFun::midi2freq(static_cast<double>(note));
    g_freq.store(freq, std::memory_order_relaxed);
    std::cout << "MIDI: " << static_cast<double>(note) << std::endl;
    std::cout << "Freq: " << freq << std::endl;
    gen_sine.store(true, std::memory_order_relaxed);
    stop_sound = true;
}

void pressSpace() {
    if (!gen_sine.load(std::memory_order_relaxed) && !stop_sound) {
        startTone();
        return;
    }
    gen_sine.store(false, std::memory_order_relaxed);
    stop_sound = false;
    x_adj = 0.0;
    y_adj = 0.0;
}

void testShot(double height) {
    generateRandom();
    y_adj = height;
    arrow_move = true;
}

void restoreWindowSize() {
    const int width = w_width;
    const int height = w_height;
    if (window.resizeWindow != nullptr)
        window.resizeWindow(width, height);
    if (window.reshapeView != nullptr)
        window.reshapeView(width, height);
}

} // namespace

void setWindowRequests(const WindowRequests &requests) {
    window = requests;
}

void keyboardFunc(unsigned char key, int /*x*/, int /*y*/) {
    switch (key) {
    case ' ':
        pressSpace();
        break;
    case 'l':
        startListening();
        break;
    case ';':
        pitch_listen.store(false, std::memory_order_relaxed);
        shootArrow(average);
        break;
    case 'z':
        testShot(-0.5);
        break;
    case 'x':
        testShot(-0.35);
        break;
    case 'c':
        testShot(-0.25);
        break;
    case 'v':
        testShot(-0.1);
        break;
    case 'b':
        arrow_move = true;
        break;
    case 'n':
        testShot(0.1);
        break;
    case 'm':
        testShot(0.25);
        break;
    case ',':
        testShot(0.35);
        break;
    case '.':
        testShot(0.5);
        break;
    case '/':
        x_adj = 0.0;
        y_adj = 0.0;
        arrow_move = false;
        break;
    case 'f':
        if (window.fullScreen != nullptr)
            window.fullScreen();
        break;
    case 'r':
        restoreWindowSize();
        break;
    case 'q':
        std::exit(0);
    default:
        break;
    }
    requestRedisplay();
}

void mouseFunc(int button, int state, int /*x*/, int /*y*/) {
    if (button != kLeftButton && button != kRightButton)
        return;
    if (state == kButtonDown) {
        startListening();
        return;
    }
    gen_sine.store(false, std::memory_order_relaxed);
    pitch_listen.store(false, std::memory_order_relaxed);
    shootArrow(computePitchAverage());
}

void idleFunc() {
    audioUpkeep();
    requestRedisplay();
}
