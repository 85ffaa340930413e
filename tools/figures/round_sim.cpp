#include "round_sim.h"

#include "measure.h"

#include <game/audio.h>
#include <game/controls.h>
#include <game/rules.h>
#include <game/state.h>

#include <algorithm>
#include <array>

namespace figures {

namespace {

// The state a fresh run is in after the space key has started a tone at
// goalHz: the shot cleared, the tone sounding, nothing heard yet. The tracker
// record is left as it is: the press re-initialises it, as in the game.
void beginRound(double goalHz) {
    for (auto &entry : pitchArray)
        entry.store(0.0, std::memory_order_relaxed);
    bufferSize = kWindow;
    g_freq.store(goalHz, std::memory_order_relaxed);
    gen_sine.store(true, std::memory_order_relaxed);
    stop_sound = true;
    x_adj = 0.0;
    y_adj = 0.0;
}

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
    beginRound(goalHz);
    toBlock = std::min(toBlock, samples.size() / kWindow);
    std::array<double, kWindow> in{}, out{};
    RoundResult result;
    mouseFunc(kLeftButton, kButtonDown, 0, 0);
    for (std::size_t b = fromBlock; b < toBlock; ++b) {
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(b * kWindow), kWindow,
                    in.begin());
        audioCallback(out.data(), in.data(), kWindow, 0.0, 0, nullptr);
        if (b + 1 - fromBlock >= minHeld && b + 1 < toBlock) {
            ++result.releases;
            result.bullseyes += judgeNow().bullseye ? 1 : 0;
        }
    }
    mouseFunc(kLeftButton, kButtonUp, 0, 0);
    result.atNoteOff.average = average;
    result.atNoteOff.yAdj = y_adj;
    result.atNoteOff.bullseye = y_adj == 0.0;
    ++result.releases;
    result.bullseyes += result.atNoteOff.bullseye ? 1 : 0;
    return result;
}

} // namespace figures
