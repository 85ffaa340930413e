// Turning audio into what the tracker takes, and tracking it: one channel at
// 44100 Hz, walked window by window with one tracker record.
//
// Shared by pitchtrack, the Python module and the WebAssembly build, so that
// all of them give the same pitches for the same audio. It uses the standard
// library and wavepitch only, reads no files and works in blocks: memory does
// not grow with the length of the recording.
#ifndef PITCHTRACK_TRACKER_INPUT_H
#define PITCHTRACK_TRACKER_INPUT_H

#include <wavepitch.h>

#include <cstddef>
#include <string>
#include <vector>

namespace pitchtrack {

constexpr int kTrackerRate = 44100;

// Writes the channel average of `frames` interleaved frames of `channels`
// samples each (channels >= 1) to mono[0 .. frames - 1]. One channel is
// copied as it is.
void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono);

// Converts mono audio at any rate to 44100 Hz, block by block, with a
// windowed-sinc interpolator (see tracker_input.cpp for its design). Output
// sample n is the signal at input time n * rate / 44100: the first output
// sample is the first input sample's instant, as in a whole-file conversion.
class Resampler {
  public:
    // rate: the input's sample rate in Hz, a finite number above 0.
    explicit Resampler(double rate);

    // Appends the 44100 Hz samples that `count` more input samples complete
    // to `out`.
    void push(const double *in, std::size_t count, std::vector<double> &out);

    // The input has ended: appends the remaining samples (the input counted
    // as silence past its end), up to the instant of the last input sample.
    // Later pushes start a new signal.
    void finish(std::vector<double> &out);

  private:
    using Tap = float;

    void restart();
    void produce(bool atEnd, std::vector<double> &out);

    double step_;            // input samples per output sample
    int phases_;             // rows of the table, one per fraction of a sample
    int half_ = 0;           // taps on each side of the interpolated instant
    int taps_ = 0;           // 2 * half_, rounded up to whole lanes
    std::vector<Tap> table_; // (phases_ + 1) rows of taps_ weights
    std::vector<Tap> input_; // input samples from input index base_ on
    long long base_ = 0;     // input index of input_[0]
    long long received_ = 0; // input samples pushed
    long long produced_ = 0; // output samples made
};

// One tracked window, as pitchtrack --csv prints it.
struct WindowPitch {
    double time;       // the window's first sample, in seconds
    double frequency;  // the tracked pitch in Hz, 0.0 for none
    double confidence; // the record's trust after the window, 0 to 1
};

// The whole road from interleaved frames at any rate to tracked windows:
// channel mix, conversion to 44100 Hz (none at 44100 Hz, where the samples
// reach the tracker unchanged) and one tracker record over consecutive
// windows, `hop` samples apart, each of `window` samples at 44100 Hz. Windows
// that would run past the end are not tracked.
class TrackerStream {
  public:
    // Empty when the settings are usable, else why not: rate a finite number
    // above 0, channels at least 1, window a power of two from 4 to 1048576,
    // hop at least 1.
    static std::string check(double rate, int channels, int window, long long hop);

    // The settings must pass check().
    TrackerStream(double rate, int channels, int window, long long hop);

    // Takes `frames` interleaved frames and appends the windows they complete
    // to `out`.
    void push(const double *interleaved, std::size_t frames, std::vector<WindowPitch> &out);

    // The input has ended: flushes the resampler's tail and appends the last
    // windows it completes.
    void finish(std::vector<WindowPitch> &out);

    // Samples at 44100 Hz so far (after finish(), the recording's length).
    long long samples() const { return total_; }

  private:
    void track(const double *mono, std::size_t count, std::vector<WindowPitch> &out);
    void trackWindows(const double *samples, long long from, long long to,
                      std::vector<WindowPitch> &out);
    void dropUnused();

    int channels_;
    int window_;
    long long hop_;
    bool convert_;
    Resampler resampler_;
    _dywapitchtracker record_;
    std::vector<double> mixed_, converted_;
    std::vector<double> held_; // samples from index heldFrom_ on, for windows to come
    long long heldFrom_ = 0;
    long long next_ = 0;  // first sample of the next window
    long long total_ = 0; // samples at 44100 Hz received
};

} // namespace pitchtrack

#endif
