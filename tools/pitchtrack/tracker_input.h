// Turning audio into what the tracker takes: one channel at 44100 Hz.
//
// Shared by pitchtrack and the Python module, so that both hand the tracker
// the same samples for the same audio. It reads no files: callers bring the
// samples in memory.
#ifndef PITCHTRACK_TRACKER_INPUT_H
#define PITCHTRACK_TRACKER_INPUT_H

#include <cstddef>
#include <string>
#include <vector>

namespace pitchtrack {

constexpr int kTrackerRate = 44100;

// Writes the channel average of `frames` interleaved frames of `channels`
// samples each (channels >= 1) to mono[0 .. frames - 1].
void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono);

// Sample-rate conversion of `count` mono samples at `rate` Hz to 44100 Hz
// with the best sinc converter. On failure (a rate of 0 or below, or one too
// far from 44100 Hz to convert) returns false and sets error.
bool resampleTo44100(const double *in, std::size_t count, double rate, std::vector<double> &out,
                     std::string &error);

} // namespace pitchtrack

#endif
