#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace pitchtrack {
namespace {

constexpr double kLongFile = 60.0;                   // seconds of audio
constexpr std::chrono::milliseconds kRedraw{250};    // between two redraws
constexpr std::chrono::milliseconds kFirstDraw{500}; // before the first one

} // namespace

Progress::Progress(double seconds)
    : active_(seconds > kLongFile && isatty(STDERR_FILENO) == 1),
      outputIsTerminal_(isatty(STDOUT_FILENO) == 1), begin_(Clock::now()) {}

void Progress::show(double done) {
    const Clock::time_point now = Clock::now();
    if (!active_ || !(done > 0.0) || (shown_ && now - last_ < kRedraw))
        return;
    shown_ = true;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - begin_).count();
    const long left = done < 1.0 ? static_cast<long>(elapsed * (1.0 - done) / done + 0.5) : 0;
    std::fprintf(stderr, "\rpitchtrack: %3d%% done, %ld:%02ld left\033[K",
                 static_cast<int>(done * 100.0), left / 60, left % 60);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::beforeOutput() {
    // Output to a terminal goes out line by line: the progress line must be
    // gone before it, or the two would run into one another.
    if (outputIsTerminal_)
        clear();
}

void Progress::clear() {
    if (!drawn_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

} // namespace pitchtrack
