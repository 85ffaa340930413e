// The game's program-wide state, shared by the GLUT handlers on the main
// thread and audioCallback on the audio device's thread.
//
// Ownership: everything not marked otherwise belongs to the main thread. The
// few values that cross between the threads are atomics, so the audio thread
// never waits and never reads a torn value. Relaxed ordering is enough for
// them: each one is a self-contained value (a flag, a frequency, one pitch
// entry) and no other memory is published through it. The one exception is
// the tracker reset request, which must be visible before listening starts;
// see pitch_listen.
#pragma once

#include <atomic>
#include <cstdint>

#include "wavepitch.h"

// Entries of pitchArray: the block size requested from the audio library.
constexpr unsigned kPitchFrames = 512;

// --- shared between the threads ---

// Goal frequency in Hz. Main writes when a tone starts; audio reads per frame.
extern std::atomic<double> g_freq;
// True while the goal tone sounds. Main writes; audio reads per frame.
extern std::atomic<bool> gen_sine;
// True while the tracker runs. Main stores it with release ordering after
// raising tracker_reset, and the callback loads it with acquire ordering, so
// a listening frame always sees the reset request of the press that began it.
extern std::atomic<bool> pitch_listen;
// Raised by the main thread whenever listening turns on; the audio thread
// re-initialises pitchtracker before its next tracker call and lowers it.
// Without it the history of the last round steers the octave correction of
// the next one onto half or double the new pitch.
extern std::atomic<bool> tracker_reset;
// Entry i: tracker result at frame i of the latest block that gave a pitch
// there. Audio writes; main averages after the button is released.
extern std::atomic<double> pitchArray[kPitchFrames];

// --- audio thread only, once the stream runs ---

// Frames of tone played since start-up; never reset, so a new tone starts at
// the phase the count has reached.
extern double g_t;
// Tracker history. Initialised by main before any handler can listen.
extern _dywapitchtracker pitchtracker;
// First sample index handed to the tracker; stays 0.
extern int start;

// --- main thread only ---

extern bool stop_sound;     // the next space press stops the tone
extern double average;      // the sung average of the last judged round, Hz
extern unsigned bufferSize; // block size: requested 512, then as granted
extern float HI;            // bounds of the horizontal draw; HI < LO
extern float LO;
extern double x_adj; // landing offsets in board units, (0, 0) centre
extern double y_adj;
extern bool arrow_move; // a new flight starts in the next frame
extern int w_width;     // window size as last reported to reshapeFunc
extern int w_height;

static_assert(std::atomic<double>::is_always_lock_free, "the audio thread must not lock");
static_assert(std::atomic<bool>::is_always_lock_free, "the audio thread must not lock");
