// One round of the game played on recorded samples: the button goes down,
// the game's own audio callback hears the blocks, the button comes up, and the
// game's own rules judge the average.
#pragma once

#include <cstddef>
#include <vector>

namespace figures {

struct Judgement {
    double average = 0.0;  // Hz, as the game averages pitchArray
    double yAdj = 0.0;     // the landing height the shot chose
    bool bullseye = false; // judged within two fifth-of-semitone steps
};

struct RoundResult {
    Judgement atNoteOff;       // the button released at the last block
    std::size_t releases = 0;  // release points tried (see playRound)
    std::size_t bullseyes = 0; // of which judged a bullseye
};

// Plays blocks [fromBlock, toBlock) of the samples (512 frames each) to the
// game while the left button is held, with the goal tone at goalHz, then
// releases the button. Every round starts as the first round of a fresh run
// (pitchArray all 0.0), so no note borrows pitches from the note before it.
//
// The game judges what pitchArray holds at the release, which is mostly the
// last block or two heard, so one release point says little. The round is
// also judged as if released after every block from `minHeld` blocks on:
// the judgement reads only pitchArray and the goal, so judging a held round
// is the same as releasing it there. The game prints its two judgement lines
// to standard output for every release point, as it does at every release.
RoundResult playRound(const std::vector<double> &samples, std::size_t fromBlock,
                      std::size_t toBlock, std::size_t minHeld, double goalHz);

} // namespace figures
