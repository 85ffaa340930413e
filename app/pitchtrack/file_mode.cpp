// File mode: the tracked pitch of consecutive windows of an audio file, read,
// mixed, converted and tracked block by block.
#include "modes.h"
#include "mono_audio.h"
#include "progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pitchtrack {
namespace {

// Frames read at a time: large enough that reading costs little per frame,
// small enough that memory stays the same for any length of file.
constexpr std::size_t kBlockFrames = 1 << 14;

void print(const std::vector<WindowPitch> &windows, bool csv) {
    for (const WindowPitch &w : windows) {
        if (csv)
            std::printf("%.6f,%.3f,%.1f\n", w.time, w.frequency, w.confidence);
        else
            std::printf("%.6f %.3f\n", w.time, w.frequency);
    }
}

} // namespace

int trackFile(const Options &o) {
    AudioFile file;
    std::string error;
    if (!file.open(o.path, error)) {
        std::fprintf(stderr, "pitchtrack: %s\n", error.c_str());
        return 1;
    }
    error = TrackerStream::check(file.rate(), file.channels(), o.window, o.hop);
    if (!error.empty()) {
        std::fprintf(stderr, "pitchtrack: %s: %s\n", o.path.c_str(), error.c_str());
        return 1;
    }
    const bool csv = o.mode == Mode::Csv;
    TrackerStream stream(file.rate(), file.channels(), o.window, o.hop);
    Progress progress(static_cast<double>(file.frames()) / file.rate());
    std::vector<double> block;
    std::vector<WindowPitch> windows;
    bool started = false;
    long long framesRead = 0;
    for (bool more = true; more;) {
        windows.clear();
        more = file.read(block, kBlockFrames);
        if (more) {
            const std::size_t frames = block.size() / static_cast<std::size_t>(file.channels());
            stream.push(block.data(), frames, windows);
            framesRead += static_cast<long long>(frames);
        } else {
            stream.finish(windows);
        }
        if (windows.empty())
            continue;
        // The header goes out with the first row, so that a file shorter than
        // a window prints nothing but its error.
        progress.beforeOutput();
        if (csv && !started)
            std::puts("time,frequency,confidence");
        started = true;
        print(windows, csv);
        progress.show(static_cast<double>(framesRead) / static_cast<double>(file.frames()));
    }
    progress.clear();
    const std::string early = file.endedEarly();
    if (!early.empty())
        std::fprintf(stderr, "pitchtrack: warning: %s\n", early.c_str());
    if (framesRead == 0) {
        std::fprintf(stderr, "pitchtrack: %s: cannot read its samples\n", o.path.c_str());
        return 1;
    }
    if (!started) {
        std::fprintf(stderr,
                     "pitchtrack: %s: %lld samples at 44100 Hz, fewer than one window of %d\n",
                     o.path.c_str(), stream.samples(), o.window);
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "pitchtrack: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace pitchtrack
