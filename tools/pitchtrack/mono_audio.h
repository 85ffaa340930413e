// Loading an audio file as the tracker wants it: one channel at 44100 Hz.
#ifndef PITCHTRACK_MONO_AUDIO_H
#define PITCHTRACK_MONO_AUDIO_H

#include <string>
#include <vector>

namespace pitchtrack {

constexpr int kTrackerRate = 44100;

struct MonoAudio {
    std::vector<double> samples; // at kTrackerRate
    int fileRate = 0;
    int fileChannels = 0;
};

// Reads any file libsndfile knows, averages its channels and resamples it to
// 44100 Hz when it has another rate. On failure returns false and sets error
// to a message naming the file.
bool loadMono(const std::string &path, MonoAudio &audio, std::string &error);

// The channel average of interleaved frames.
std::vector<double> mixToMono(const std::vector<double> &interleaved, int channels);

// Sample-rate conversion to 44100 Hz with the best sinc converter.
bool resampleTo44100(const std::vector<double> &in, int rate, std::vector<double> &out,
                     std::string &error);

} // namespace pitchtrack

#endif
