// File mode: the tracked pitch of consecutive windows of an audio file.
#include "modes.h"
#include "mono_audio.h"

#include <wavepitch.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace pitchtrack {

int trackFile(const Options &o) {
    MonoAudio audio;
    std::string error;
    if (!loadMono(o.path, audio, error)) {
        std::fprintf(stderr, "pitchtrack: %s\n", error.c_str());
        return 1;
    }
    const long long total = static_cast<long long>(audio.samples.size());
    if (total < o.window) {
        std::fprintf(stderr,
                     "pitchtrack: %s: %lld samples at 44100 Hz, fewer than one window of %d\n",
                     o.path.c_str(), total, o.window);
        return 1;
    }
    if (total > INT_MAX) {
        std::fprintf(stderr, "pitchtrack: %s: %lld samples at 44100 Hz, too long to index\n",
                     o.path.c_str(), total);
        return 1;
    }
    const bool csv = o.mode == Mode::Csv;
    if (csv)
        std::puts("time,frequency,confidence");
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    for (long long start = 0; start + o.window <= total; start += o.hop) {
        const double pitch = dywapitch_computepitch(&tracker, audio.samples.data(),
                                                    static_cast<int>(start), o.window);
        const double time = static_cast<double>(start) / kTrackerRate;
        if (csv) {
            // The record's confidence runs from -1 (fresh) to 5 (fully trusted).
            const int confidence = tracker._confidence < 0 ? 0 : tracker._confidence;
            std::printf("%.6f,%.3f,%.1f\n", time, pitch, confidence / 5.0);
        } else {
            std::printf("%.6f %.3f\n", time, pitch);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "pitchtrack: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace pitchtrack
