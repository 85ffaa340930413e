// The three ways pitchtrack runs, chosen by main from the command line. Each
// returns the exit status: 0 done, 1 a file or device failed.
#ifndef PITCHTRACK_MODES_H
#define PITCHTRACK_MODES_H

#include <string>

namespace pitchtrack {

enum class Mode { File, Csv, Judge, Live };

struct Options {
    Mode mode = Mode::File;
    int window = 512;     // samples per tracked window, a power of two
    int hop = 512;        // samples from one window's start to the next
    double seconds = 0.0; // --live: how long to listen; 0 until interrupted
    int note = 0;         // --judge: the goal note on the game's scale
    std::string path;     // the audio file, except with --live
};

// One tracker record over consecutive windows of the file: plain lines
// "TIME PITCH", or with Mode::Csv rows "time,frequency,confidence".
int trackFile(const Options &options);

// Replays the file as one round of the game against options.note.
int judgeTake(const Options &options);

// Tracks the default input device until options.seconds or an interrupt.
int listenLive(const Options &options);

} // namespace pitchtrack

#endif
