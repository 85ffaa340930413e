#include "round_sim.h"

#include "measure.h"

#include <algorithm>

#include <game/replay.h>
#include <game/rules.h>
#include <game/state.h>

namespace figures {

namespace {

// What a release now would make of the round; the offsets go back to the
// centre afterwards, as the space key would clear them.
Judgement judgeNow() {
    Judgement j;
    shootArrow(computePitchAverage());
    j.average = average;
    j.yAdj = y_adj;
    // The offsets were at the centre; only a judgement within two steps of the
    // goal leaves them there (every band moves y_adj).
    j.bullseye = y_adj == 0.0;
    x_adj = 0.0;
    y_adj = 0.0;
    return j;
}

} // namespace

RoundResult playRound(const std::vector<double> &samples, std::size_t fromBlock,
                      std::size_t toBlock, std::size_t minHeld, double goalHz) {
    const std::size_t block = kWindow;
    toBlock = std::min(toBlock, samples.size() / block);
    fromBlock = std::min(fromBlock, toBlock);
    const std::size_t held = toBlock - fromBlock;
    RoundResult result;
    const arrowsong::Judgement last = arrowsong::replayRound(
        samples.data() + fromBlock * block, held * block, goalHz, [&](std::size_t b) {
            if (b + 1 >= minHeld && b + 1 < held) {
                ++result.releases;
                result.bullseyes += judgeNow().bullseye ? 1 : 0;
            }
        });
    result.atNoteOff.average = last.average;
    result.atNoteOff.yAdj = last.yAdj;
    result.atNoteOff.bullseye = last.yAdj == 0.0;
    ++result.releases;
    result.bullseyes += result.atNoteOff.bullseye ? 1 : 0;
    return result;
}

} // namespace figures
