// The progress line of a long file: percent done and time left, redrawn on
// standard error while it is a terminal, and erased before any output.
#ifndef PITCHTRACK_PROGRESS_H
#define PITCHTRACK_PROGRESS_H

#include <chrono>

namespace pitchtrack {

class Progress {
  public:
    // Shown only for files of more than about a minute, and only when
    // standard error is a terminal.
    explicit Progress(double seconds);

    // Redraws the line for `done` (0 to 1), at most a few times a second.
    void show(double done);
    // Before lines go to standard output: erases the line when that output
    // goes to a terminal too.
    void beforeOutput();
    // Erases the line, if it is drawn.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;
    bool active_;
    bool outputIsTerminal_;
    bool shown_ = false; // drawn at least once
    bool drawn_ = false; // on the screen now
    Clock::time_point begin_, last_;
};

} // namespace pitchtrack

#endif
