// pitchtrack: the wavepitch tracker outside the game. Tracks an audio file,
// listens to the microphone, or replays a recorded take as a round of the game.
#include "modes.h"
#include "notes.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kUsage[] =
    "Usage: pitchtrack [--window N] [--hop N] FILE\n"
    "       pitchtrack --csv [--window N] [--hop N] FILE\n"
    "       pitchtrack --live [--seconds S] [--window N] [--hop N]\n"
    "       pitchtrack --judge NOTE FILE\n"
    "\n"
    "Tracks pitch with the wavepitch tracker, the one the game listens with.\n"
    "\n"
    "FILE is any format libsndfile reads (WAV, AIFF, FLAC, Ogg, ...). Its\n"
    "channels are averaged to one and it is resampled to 44100 Hz with\n"
    "pitchtrack's own windowed-sinc resampler when it has another rate. One\n"
    "tracker record then runs over consecutive windows, as the game runs it\n"
    "over its audio blocks. The file is read in blocks: memory stays the same\n"
    "for any length. A file that ends before its header says gives the windows\n"
    "it holds and a warning. On a terminal, files of more than a minute show\n"
    "a progress line on standard error (percent done, time left), erased at\n"
    "the end.\n"
    "\n"
    "Modes:\n"
    "  (default)    one line per window, in order, with two fields separated by\n"
    "               one space: the time of the window's first sample in seconds\n"
    "               (6 decimals) and the pitch in Hz (3 decimals), 0.000 when the\n"
    "               window has no pitch:\n"
    "                 0.011610 261.626\n"
    "               Windows that would run past the end of the file are not tracked.\n"
    "  --csv        the same windows as comma-separated values under the header\n"
    "               time,frequency,confidence; confidence runs from 0 to 1 (the\n"
    "               tracker's trust in its pitch after that window):\n"
    "                 0.011610,261.626,0.4\n"
    "  --live       listens to the default input device, the one the game uses,\n"
    "               mono at 44100 Hz, and prints one line per window:\n"
    "                 TIME PITCH NOTE CENTS LEVEL\n"
    "                 1.230476 221.354 A3 11 -18.2\n"
    "               seconds since listening began, the pitch in Hz (0.000 for\n"
    "               none), the nearest note (A3 is 220 Hz, C4 261.63 Hz; - for\n"
    "               none), the whole cents from that note and the window's peak\n"
    "               level in dBFS (-inf for digital silence). On a terminal one\n"
    "               status line is redrawn instead: note, cents meter, level bar.\n"
    "               Warns on standard error when nothing is heard for 2 s (peak\n"
    "               below -60 dBFS) and when samples reach full scale. Ends at\n"
    "               Ctrl-C, or after S seconds with --seconds.\n"
    "  --judge NOTE FILE\n"
    "               replays FILE as one round of the game sung against NOTE: the\n"
    "               take goes in 512-sample blocks through the game's own audio\n"
    "               code, from a fresh tracker, and is judged at its end as a\n"
    "               button release would. NOTE is a number on the game's scale\n"
    "               (57 is 440 Hz; 0 to 127) or a name such as G3, F#4 or Bb3.\n"
    "               Prints the game's two lines, then the height the arrow lands\n"
    "               at (0 within two fifths of a semitone, else the band's height,\n"
    "               e.g. 0.25 sharp or -0.5 flat) and the cents from the goal:\n"
    "                 Goal frequency: 220\n"
    "                 Your frequency average: 226.1\n"
    "                 landing height: 0.25\n"
    "                 cents: 47.3\n"
    "               A take with no pitch at all averages 0, lands at -0.5 and\n"
    "               prints \"cents: -\".\n"
    "\n"
    "Options:\n"
    "  --window N   samples per window at 44100 Hz, a power of two from 4 to\n"
    "               1048576 (default 512)\n"
    "  --hop N      samples from the start of one window to the next, at least\n"
    "               1 (default 512)\n"
    "  --seconds S  with --live: stop after S seconds (default: at Ctrl-C)\n"
    "  --help       show this text and exit\n"
    "\n"
    "Exit status: 0 on success (also when --live ends at Ctrl-C), 1 when the\n"
    "file cannot be read or holds fewer samples than one window, or no input\n"
    "device can be opened, 2 for a bad option or note.\n";

using pitchtrack::Mode;
using pitchtrack::Options;

bool parseCount(const char *text, long lowest, long highest, int &out) {
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lowest || v > highest)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool parseSeconds(const char *text, double &out) {
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    // A year is far more than anyone listens; beyond it the sample count
    // would lose its meaning.
    if (errno != 0 || *end != '\0' || !(v > 0.0) || v > 365.0 * 86400.0)
        return false;
    out = v;
    return true;
}

int badOption(const std::string &message) {
    std::fprintf(stderr, "pitchtrack: %s\nTry 'pitchtrack --help'.\n", message.c_str());
    return 2;
}

std::string quoted(const char *value) {
    return value ? std::string(", not '") + value + "'" : "";
}

// Returns -1 to go on, or the exit status.
int parseOptions(int argc, char **argv, Options &o) {
    bool modeGiven = false, windowGiven = false, secondsGiven = false;
    auto setMode = [&](Mode mode) {
        if (modeGiven)
            return false;
        modeGiven = true;
        o.mode = mode;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--window" || arg == "--hop") {
            const char *value = i + 1 < argc ? argv[++i] : nullptr;
            const bool ok = arg == "--window" ? parseCount(value, 4, 1 << 20, o.window) &&
                                                    (o.window & (o.window - 1)) == 0
                                              : parseCount(value, 1, INT_MAX, o.hop);
            if (!ok)
                return badOption(arg +
                                 (arg == "--window"
                                      ? " needs a power of two from 4 to 1048576"
                                      : " needs a whole number of samples, at least 1") +
                                 quoted(value));
            windowGiven = true;
        } else if (arg == "--seconds") {
            const char *value = i + 1 < argc ? argv[++i] : nullptr;
            if (!parseSeconds(value, o.seconds))
                return badOption("--seconds needs a number of seconds above 0" + quoted(value));
            secondsGiven = true;
        } else if (arg == "--csv" || arg == "--live") {
            if (!setMode(arg == "--csv" ? Mode::Csv : Mode::Live))
                return badOption("one of --csv, --live and --judge at a time");
        } else if (arg == "--judge") {
            if (!setMode(Mode::Judge))
                return badOption("one of --csv, --live and --judge at a time");
            const char *value = i + 1 < argc ? argv[++i] : nullptr;
            if (value == nullptr || !pitchtrack::parseNote(value, o.note))
                return badOption("--judge needs a note: a number from 0 to 127 (57 is 440 Hz) "
                                 "or a name such as G3, F#4 or Bb3" +
                                 quoted(value));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return badOption("unknown option '" + arg + "'");
        } else if (!o.path.empty()) {
            return badOption("one file at a time, not also '" + arg + "'");
        } else {
            o.path = arg;
        }
    }
    if (o.mode == Mode::Live) {
        if (!o.path.empty())
            return badOption("--live listens to the input device and takes no file");
    } else {
        if (secondsGiven)
            return badOption("--seconds goes with --live only");
        if (o.path.empty())
            return badOption("no file given");
    }
    if (o.mode == Mode::Judge && windowGiven)
        return badOption("--judge hears the take in the game's blocks of 512 samples; "
                         "--window and --hop do not apply");
    return -1;
}

int run(const Options &o) {
    switch (o.mode) {
    case Mode::Live:
        return pitchtrack::listenLive(o);
    case Mode::Judge:
        return pitchtrack::judgeTake(o);
    case Mode::File:
    case Mode::Csv:
        break;
    }
    return pitchtrack::trackFile(o);
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    return status >= 0 ? status : run(options);
}
