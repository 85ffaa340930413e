// What the measurement programs share: the sample reader, the onset rule,
// cents, and the trackers the datasheet runs in this process, through their
// libraries: ours on windows of 512, 1024 and 2048 samples and aubio's four
// methods on 512, all with a hop of 512 samples, each call timed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace figures {

constexpr int kRate = 44100;
constexpr int kWindow = 512; // the game's block, and the hop: windows do not overlap

// The samples of a 44100 Hz sound file, channels mixed to mono. Throws
// std::runtime_error naming the file when it cannot be read or has another
// rate (the figures script writes every file at 44100 Hz).
std::vector<double> readMono44100(const std::string &path);

// 1200 * log2(hz / goal); NaN when hz is no pitch (0 or below).
double centsOff(double hz, double goalHz);

// The first of `windowCount` windows whose RMS reaches half the loudest's
// (windowCount when all are silent): sampled instruments swell for tens of
// milliseconds, and the half-level point keeps the attack's silence out of the
// share without hiding a slow, out-of-tune start.
std::size_t onsetWindow(const std::vector<double> &samples, std::size_t windowCount);

// The number of whole windows in the samples that end at or before `seconds`.
std::size_t windowsBefore(const std::vector<double> &samples, double seconds);

// "wavepitch", "wavepitch 1024", "wavepitch 2048", "aubio yin",
// "aubio yinfast", "aubio yinfft", "aubio mcomb".
const std::vector<std::string> &libraryTrackers();

// One tracker over the whole windows of a file: each window's centre in
// seconds, its pitch (0.0 for none) and the time the library calls took, in
// nanoseconds. Ours keeps one tracker record over the file, and each aubio
// method one detector, as their command-line tools do.
struct LibraryRun {
    std::vector<double> timeS, hz;
    double nanoseconds = 0.0;
};
LibraryRun runLibraryTracker(const std::string &tracker, const std::vector<double> &samples);

// Our tracker's slowest 512-sample window of the file: each window's call
// timed `repeats` times from the same record state, its quickest time kept
// (the rest is other work on the machine), and the largest of those.
struct SlowestWindow {
    double nanoseconds = 0.0;
    std::size_t window = 0;
};
SlowestWindow slowestWindow(const std::vector<double> &samples, int repeats);

} // namespace figures
