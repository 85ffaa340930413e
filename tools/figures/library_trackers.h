// The trackers the datasheet runs in this process, through their libraries:
// ours and aubio's four methods, each over the same non-overlapping
// 512-sample windows, each call timed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace figures {

// "wavepitch", "aubio yin", "aubio yinfast", "aubio yinfft", "aubio mcomb".
const std::vector<std::string> &libraryTrackers();

// One tracker over the whole windows of a file: one pitch per window (0.0
// for none; window w is centred on sample 512 w + 256) and the time the
// library calls took, in nanoseconds. Ours keeps one tracker record over the
// file, and each aubio method one detector, as their command-line tools do.
struct LibraryRun {
    std::vector<double> hz;
    double nanoseconds = 0.0;
};
LibraryRun runLibraryTracker(const std::string &tracker, const std::vector<double> &samples);

// Our tracker's slowest window of the file: each window's call timed
// `repeats` times from the same record state, its quickest time kept (the
// rest is other work on the machine), and the largest of those.
struct SlowestWindow {
    double nanoseconds = 0.0;
    std::size_t window = 0;
};
SlowestWindow slowestWindow(const std::vector<double> &samples, int repeats);

} // namespace figures
