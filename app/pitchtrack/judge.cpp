// Judge mode: a recorded take replayed as one round of the game, through the
// game's own code (game/replay.h). Nothing of the round's rules is restated
// here.
#include "modes.h"
#include "mono_audio.h"

#include <game/replay.h>
#include <game/state.h>
#include <util/XFun.h>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace pitchtrack {

int judgeTake(const Options &o) {
    MonoAudio audio;
    std::string error;
    if (!loadMono(o.path, audio, error)) {
        std::fprintf(stderr, "pitchtrack: %s\n", error.c_str());
        return 1;
    }
    if (!audio.endedEarly.empty())
        std::fprintf(stderr, "pitchtrack: warning: %s\n", audio.endedEarly.c_str());
    const std::size_t block = kPitchFrames; // what the game asks of its stream
    const std::size_t blocks = audio.samples.size() / block;
    if (blocks == 0) {
        std::fprintf(stderr,
                     "pitchtrack: %s: %zu samples at 44100 Hz, fewer than one block of %zu\n",
                     o.path.c_str(), audio.samples.size(), block);
        return 1;
    }

    // The goal as the space key sets it, and the round as the game plays it.
    const arrowsong::Judgement judged = arrowsong::replayRound(
        audio.samples.data(), audio.samples.size(), XFun::midi2freq(static_cast<double>(o.note)));

    const double goal = g_freq.load(std::memory_order_relaxed);
    // The game's lines were written through std::cout; these follow them.
    std::cout << "landing height: " << judged.yAdj << std::endl;
    // A take in which the tracker never found a pitch averages 0 (the game
    // prints it so): no distance from the goal exists, and "-" says so.
    char cents[32] = "-";
    if (judged.average > 0.0)
        std::snprintf(cents, sizeof cents, "%.1f", 1200.0 * std::log2(judged.average / goal));
    std::cout << "cents: " << cents << std::endl;
    if (!std::cout) {
        std::fprintf(stderr, "pitchtrack: cannot write the output\n");
        return 1;
    }
    return 0;
}

} // namespace pitchtrack
