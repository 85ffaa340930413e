// Pitch accuracy over one rendered note: the sample reader, the onset rule,
// cents, and the three trackers run over the same 512-sample windows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace figures {

constexpr int kRate = 44100;
constexpr int kWindow = 512; // the game's block, and the hop: windows do not overlap

// The samples of a sound file, channels mixed to mono and resampled to
// 44100 Hz as pitchtrack reads them. Throws std::runtime_error naming the
// file when it cannot be read.
std::vector<double> readMono44100(const std::string &path);

// 1200 * log2(hz / goal); NaN when hz is no pitch (0 or below).
double centsOff(double hz, double goalHz);

// The first window whose RMS reaches half the loudest window's RMS among the
// first `windowCount` windows. Sampled instruments swell for tens of
// milliseconds; judging from the half-level point keeps the attack's silence
// out of the share without hiding a slow, out-of-tune start. Returns
// windowCount when every window is silent.
std::size_t onsetWindow(const std::vector<double> &samples, std::size_t windowCount);

// The number of whole windows in the samples that end at or before `seconds`.
std::size_t windowsBefore(const std::vector<double> &samples, double seconds);

// One aubio detector ("yin", "yinfast", "yinfft", "mcomb", ...) over
// non-overlapping 512-sample windows, at aubio's default tolerance and
// silence threshold, as aubiopitch runs it. Keeps aubio's state between
// windows, as aubiopitch does over a file.
class AubioTracker {
  public:
    explicit AubioTracker(const char *method);
    ~AubioTracker();
    AubioTracker(const AubioTracker &) = delete;
    AubioTracker &operator=(const AubioTracker &) = delete;
    // The pitch of the next window of kWindow samples; 0.0 for none.
    double operator()(const double *window);

  private:
    struct Detector; // aubio's detector and its buffers
    std::unique_ptr<Detector> detector_;
};

// One pitch per window (0.0 for none), windows [0, count) of the samples.
struct WindowPitches {
    std::vector<double> ours;    // dywapitch_computepitch, one record over the note
    std::vector<double> yin;     // aubio "yin", 512 window, 512 hop
    std::vector<double> yinfast; // aubio "yinfast", same windows
};
WindowPitches trackWindows(const std::vector<double> &samples, std::size_t count);

// The share (0 to 1) of windows [from, to) whose pitch lies within `cents`
// of the goal; 0 when the range is empty.
double shareWithin(const std::vector<double> &pitches, std::size_t from, std::size_t to,
                   double goalHz, double cents);

} // namespace figures
