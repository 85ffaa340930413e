// Arrowsong in the browser, audio side: the game's own audio block, built
// into a module of its own that the AudioWorklet instantiates. The worklet
// gathers the browser's 128-frame render quanta into blocks of 512 input
// frames, calls arrowsong_audio_block on each and plays the block's output
// out over the next four quanta. The flags the main thread owns arrive as
// messages and are stored here between blocks; nothing here allocates,
// waits or prints.
#include "audio_block.h"
#include "game/state.h"

namespace {

double input[kPitchFrames];
double output[kPitchFrames];

} // namespace

extern "C" {

__attribute__((used, visibility("default"))) double *arrowsong_audio_input() {
    return input;
}

__attribute__((used, visibility("default"))) double *arrowsong_audio_output() {
    return output;
}

// The pitch entries, 512 doubles (an atomic double is a plain double here).
__attribute__((used, visibility("default"))) const double *arrowsong_audio_pitches() {
    static_assert(sizeof(std::atomic<double>) == sizeof(double), "pitch entries are plain doubles");
    return reinterpret_cast<const double *>(pitchArray);
}

__attribute__((used, visibility("default"))) void arrowsong_audio_init() {
    dywapitch_inittracking(&pitchtracker);
}

// The values the main thread's handlers set. A reset request is stored
// before listening, as the handlers store them.
__attribute__((used, visibility("default"))) void arrowsong_audio_controls(int tone, double freq,
                                                                           int listen, int reset) {
    g_freq.store(freq, std::memory_order_relaxed);
    gen_sine.store(tone != 0, std::memory_order_relaxed);
    if (reset != 0)
        tracker_reset.store(true, std::memory_order_relaxed);
    pitch_listen.store(listen != 0, std::memory_order_release);
}

// One block: the tone into output, the input to the tracker while listening.
__attribute__((used, visibility("default"))) void arrowsong_audio_block(unsigned frames) {
    if (frames > kPitchFrames)
        frames = kPitchFrames;
    arrowsong::detail::SharedControl control;
    arrowsong::detail::renderBlock(output, input, frames, control);
}

} // extern "C"
