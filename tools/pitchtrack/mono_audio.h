// Loading an audio file as the tracker wants it: one channel at 44100 Hz.
#ifndef PITCHTRACK_MONO_AUDIO_H
#define PITCHTRACK_MONO_AUDIO_H

#include "tracker_input.h"

#include <string>
#include <vector>

namespace pitchtrack {

struct MonoAudio {
    std::vector<double> samples; // at kTrackerRate
    int fileRate = 0;
    int fileChannels = 0;
};

// Reads any file libsndfile knows, averages its channels and resamples it to
// 44100 Hz when it has another rate. On failure returns false and sets error
// to a message naming the file.
bool loadMono(const std::string &path, MonoAudio &audio, std::string &error);

// The channel average of interleaved frames (see tracker_input.h).
std::vector<double> mixToMono(const std::vector<double> &interleaved, int channels);

// Sample-rate conversion to 44100 Hz (see tracker_input.h).
bool resampleTo44100(const std::vector<double> &in, int rate, std::vector<double> &out,
                     std::string &error);

} // namespace pitchtrack

#endif
