// The main thread's side of the live monitor: samples as they arrive cut into
// tracked windows, the warnings a singer needs about the input level, and the
// two ways a window is shown (a plain line, a terminal status line).
#ifndef PITCHTRACK_LIVE_WINDOWS_H
#define PITCHTRACK_LIVE_WINDOWS_H

#include <wavepitch.h>

#include <cstddef>
#include <string>
#include <vector>

namespace pitchtrack {

struct WindowResult {
    double time = 0.0;    // seconds from the first sample heard to the window's start
    double pitch = 0.0;   // Hz, 0 for none
    double peak = 0.0;    // largest magnitude in the window, 1 is full scale
    bool clipped = false; // some sample reached full scale
};

// One tracker record over consecutive windows of a stream of samples, as file
// mode runs it over a file.
class WindowFeed {
  public:
    WindowFeed(int window, int hop);
    void append(const double *samples, std::size_t count);
    // Tracks the next complete window; false until enough samples are in.
    bool next(WindowResult &result);
    // Index of the next window's first sample, counted from the first heard.
    long long nextStart() const { return pendingStart_; }

  private:
    int window_;
    int hop_;
    std::vector<double> pending_; // samples from pendingStart_ on
    long long pendingStart_ = 0;
    long long skip_ = 0; // samples still to drop when the hop exceeds the window
    _dywapitchtracker tracker_;
};

// Watches the level window by window. Each warning fires once per episode:
// silence that has lasted 2 s, and full-scale samples (the episode ends after
// 2 s without any).
class SignalWatch {
  public:
    struct Warnings {
        bool silent = false;
        bool clipping = false;
    };
    explicit SignalWatch(int window) : windowSeconds_(window / 44100.0) {}
    Warnings look(const WindowResult &result);

  private:
    double windowSeconds_;
    double quietSince_ = -1.0; // start of the current quiet stretch, or -1
    bool silenceWarned_ = false;
    double lastClip_ = -1.0;
    bool clipWarned_ = false;
};

// Below this peak (-60 dBFS) the input counts as silent.
constexpr double kSilentPeak = 0.001;
// The top of 16-bit sample range: converters of 16 bits and more reach it.
constexpr double kFullScale = 32767.0 / 32768.0;

// "TIME PITCH NOTE CENTS LEVEL", without the newline.
std::string plainLine(const WindowResult &result);
// Note, cents on a small left/right meter and the level as a bar, for a
// terminal line that is redrawn in place.
std::string statusLine(const WindowResult &result);

} // namespace pitchtrack

#endif
