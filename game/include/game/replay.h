// One round of the game replayed on recorded samples, through the game's own
// code: the press opens the round (a fresh tracker, listening on), the game's
// audio callback hears the samples block by block, and the release judges
// the average with the game's rules, printing the game's two lines.
//
// pitchtrack --judge and the figures' round simulation both play their
// rounds through this one function. It drives the game's state as the
// handlers and the callback do, on the calling thread: never while a stream
// runs.
#pragma once

#include <cstddef>
#include <functional>

namespace arrowsong {

struct Judgement {
    double average = 0.0; // Hz, as the game averages pitchArray; 0 for no pitch
    double yAdj = 0.0;    // the landing height the shot chose; 0 at the centre
};

// Replays the whole 512-frame blocks of `count` mono samples at 44100 Hz (a
// trailing part is dropped, as the game never hears a block the release cut
// short) as one round against a goal of goalHz, from the state of a fresh run
// after the space key: nothing heard yet, the shot cleared. `afterBlock`, when
// given, is called with each block's index once the callback has heard it.
Judgement replayRound(const double *samples, std::size_t count, double goalHz,
                      const std::function<void(std::size_t)> &afterBlock = {});

} // namespace arrowsong
