// The WebAssembly side of the JavaScript package: the wavepitch C library
// itself, plus the few entry points that the JavaScript wrapper needs to own
// records and buffers in the module's memory, and pitchtrack's own mixing,
// conversion to 44100 Hz and window walk (tracker_input.h) for track().
#include "tracker_input.h"

#include <wavepitch.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <vector>

// One track() call: pitchtrack's own road from interleaved frames at any rate
// to tracked windows, and the windows it has given so far.
struct Stream {
    pitchtrack::TrackerStream stream;
    std::vector<pitchtrack::WindowPitch> windows;
};

extern "C" {

// A fresh record in the module's memory, or 0 when none can be had.
__attribute__((export_name("wp_tracker_new"))) _dywapitchtracker *wp_tracker_new() {
    auto *record = static_cast<_dywapitchtracker *>(std::malloc(sizeof(_dywapitchtracker)));
    dywapitch_inittracking(record);
    return record;
}

__attribute__((export_name("wp_free"))) void wp_free(void *block) {
    std::free(block);
}

// count doubles of the module's memory, or 0 when it cannot grow that far.
__attribute__((export_name("wp_doubles"))) double *wp_doubles(int count) {
    if (count < 1 || static_cast<std::size_t>(count) > SIZE_MAX / sizeof(double))
        return nullptr;
    return static_cast<double *>(std::malloc(static_cast<std::size_t>(count) * sizeof(double)));
}

// Bytes of the module's memory that are allocated now: what the tests watch
// for leaks.
__attribute__((export_name("wp_bytes_in_use"))) int wp_bytes_in_use() {
    return static_cast<int>(mallinfo().uordblks);
}

__attribute__((export_name("wp_neededsamplecount"))) int wp_neededsamplecount(int minFreq) {
    return dywapitch_neededsamplecount(minFreq);
}

__attribute__((export_name("wp_inittracking"))) void wp_inittracking(_dywapitchtracker *t) {
    dywapitch_inittracking(t);
}

__attribute__((export_name("wp_computepitch"))) double
wp_computepitch(_dywapitchtracker *t, const double *samples, int start, int count) {
    return dywapitch_computepitch(t, samples, start, count);
}

// A stream for track(), or 0 when the settings are not usable (the wrapper
// has checked them and names the argument at fault).
__attribute__((export_name("wp_stream_new"))) Stream *wp_stream_new(double rate, int channels,
                                                                    int window, int hop) {
    if (!pitchtrack::TrackerStream::check(rate, channels, window, hop).empty())
        return nullptr;
    return new (std::nothrow) Stream{pitchtrack::TrackerStream(rate, channels, window, hop), {}};
}

// Takes `frames` interleaved frames; returns the number of windows so far.
__attribute__((export_name("wp_stream_push"))) int
wp_stream_push(Stream *s, const double *interleaved, int frames) {
    s->stream.push(interleaved, static_cast<std::size_t>(frames), s->windows);
    return static_cast<int>(s->windows.size());
}

// The input has ended; returns the number of windows.
__attribute__((export_name("wp_stream_finish"))) int wp_stream_finish(Stream *s) {
    s->stream.finish(s->windows);
    return static_cast<int>(s->windows.size());
}

// The windows: time, frequency and confidence of each, one after the other.
__attribute__((export_name("wp_stream_windows"))) const double *wp_stream_windows(const Stream *s) {
    static_assert(sizeof(pitchtrack::WindowPitch) == 3 * sizeof(double), "three doubles");
    return s->windows.empty() ? nullptr : &s->windows.front().time;
}

__attribute__((export_name("wp_stream_free"))) void wp_stream_free(Stream *s) {
    delete s;
}

} // extern "C"
