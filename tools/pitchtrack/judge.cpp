// Judge mode: a recorded take replayed as one round of the game, through the
// game's own code. Nothing of the round's rules is restated here: the take
// goes through the game's audio callback block by block, and the game's mouse
// handler opens the round (a fresh tracker, listening on) and closes it (the
// average printed and the shot judged).
#include "modes.h"
#include "mono_audio.h"

#include <game/audio.h>
#include <game/controls.h>
#include <game/state.h>
#include <util/XFun.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

namespace pitchtrack {

int judgeTake(const Options &o) {
    MonoAudio audio;
    std::string error;
    if (!loadMono(o.path, audio, error)) {
        std::fprintf(stderr, "pitchtrack: %s\n", error.c_str());
        return 1;
    }
    const std::size_t block = kPitchFrames; // what the game asks of its stream
    const std::size_t blocks = audio.samples.size() / block;
    if (blocks == 0) {
        std::fprintf(stderr,
                     "pitchtrack: %s: %zu samples at 44100 Hz, fewer than one block of %zu\n",
                     o.path.c_str(), audio.samples.size(), block);
        return 1;
    }

    // The goal as the space key sets it; the tone itself is not needed, since
    // what the callback plays never reaches what it hears.
    g_freq.store(XFun::midi2freq(static_cast<double>(o.note)), std::memory_order_relaxed);
    mouseFunc(kLeftButton, kButtonDown, 0, 0);
    // A trailing part shorter than a block is dropped: in the game the button
    // is released before that block is complete, and the callback never sees
    // it.
    std::vector<double> out(block);
    for (std::size_t b = 0; b < blocks; ++b)
        audioCallback(out.data(), audio.samples.data() + b * block, static_cast<unsigned>(block),
                      0.0, 0, nullptr);
    mouseFunc(kLeftButton, kButtonUp, 0, 0);

    const double goal = g_freq.load(std::memory_order_relaxed);
    // The game's lines were written through std::cout; these follow them.
    std::cout << "landing height: " << y_adj << std::endl;
    // A take in which the tracker never found a pitch averages 0 (the game
    // prints it so): no distance from the goal exists, and "-" says so.
    char cents[32] = "-";
    if (average > 0.0)
        std::snprintf(cents, sizeof cents, "%.1f", 1200.0 * std::log2(average / goal));
    std::cout << "cents: " << cents << std::endl;
    if (!std::cout) {
        std::fprintf(stderr, "pitchtrack: cannot write the output\n");
        return 1;
    }
    return 0;
}

} // namespace pitchtrack
