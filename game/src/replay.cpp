#include "game/replay.h"

#include <vector>

#include "game/audio.h"
#include "game/controls.h"
#include "game/state.h"

namespace arrowsong {

Judgement replayRound(const double *samples, std::size_t count, double goalHz,
                      const std::function<void(std::size_t)> &afterBlock) {
    // A fresh run after the space key: the tone sounds at the goal, nothing
    // has been heard, the shot is cleared. What the callback plays never
    // reaches what it hears here.
    for (auto &entry : pitchArray)
        entry.store(0.0, std::memory_order_relaxed);
    bufferSize = kPitchFrames;
    g_freq.store(goalHz, std::memory_order_relaxed);
    gen_sine.store(true, std::memory_order_relaxed);
    stop_sound = true;
    x_adj = 0.0;
    y_adj = 0.0;

    mouseFunc(kLeftButton, kButtonDown, 0, 0);
    std::vector<double> out(kPitchFrames);
    const std::size_t blocks = count / kPitchFrames;
    for (std::size_t b = 0; b < blocks; ++b) {
        // The callback's input is read only; the cast meets its signature.
        audioCallback(out.data(), const_cast<double *>(samples + b * kPitchFrames), kPitchFrames,
                      0.0, 0, nullptr);
        if (afterBlock)
            afterBlock(b);
    }
    mouseFunc(kLeftButton, kButtonUp, 0, 0);
    return {average, y_adj};
}

} // namespace arrowsong
