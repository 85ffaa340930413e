// The WebAssembly side of the JavaScript package: the wavepitch C library
// itself, plus the few entry points that the JavaScript wrapper needs to own
// records and buffers in the module's memory and to track a whole recording
// in one call.
#include <wavepitch.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <malloc.h>

namespace {

// The channel average of interleaved frames, as pitchtrack mixes a file: the
// sum in channel order, divided by the channel count. mono may be interleaved
// itself: frame i is read before mono[i] is written, and i <= i * channels.
void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono) {
    const std::size_t width = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < width; ++c)
            sum += interleaved[i * width + c];
        mono[i] = sum / channels;
    }
}

} // namespace

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

// Tracks interleaved samples at 44100 Hz as pitchtrack tracks a file: mixed
// to mono in place, then one record over windows starting every hop samples
// while a whole window fits. Writes each window's pitch and confidence (0 to
// 1, as pitchtrack --csv prints it) and returns the number of windows. The
// caller has checked the arguments: channels divides length, window is a
// power of two, hop >= 1, and the output arrays hold every window.
__attribute__((export_name("wp_track"))) int wp_track(double *interleaved, int length, int channels,
                                                      int window, int hop, double *frequency,
                                                      double *confidence) {
    const int frames = length / channels;
    mixToMono(interleaved, static_cast<std::size_t>(frames), channels, interleaved);
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    int windows = 0;
    for (long long start = 0; start + window <= frames; start += hop, ++windows) {
        frequency[windows] =
            dywapitch_computepitch(&tracker, interleaved, static_cast<int>(start), window);
        const int trust = tracker._confidence < 0 ? 0 : tracker._confidence;
        confidence[windows] = trust / 5.0;
    }
    return windows;
}

} // extern "C"
