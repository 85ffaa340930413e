// pitchtrack: prints the tracked pitch of consecutive windows of an audio file.
#include "mono_audio.h"

#include <wavepitch.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kUsage[] = "Usage: pitchtrack [--window N] [--hop N] FILE\n"
                      "\n"
                      "Tracks the pitch of an audio file with the wavepitch tracker.\n"
                      "\n"
                      "FILE is any format libsndfile reads (WAV, AIFF, FLAC, Ogg, ...). Its\n"
                      "channels are averaged to one and it is resampled to 44100 Hz when it has\n"
                      "another rate. One tracker record then runs over consecutive windows, as\n"
                      "the game runs it over its audio blocks.\n"
                      "\n"
                      "Options:\n"
                      "  --window N   samples per window at 44100 Hz, a power of two from 4 to\n"
                      "               1048576 (default 512)\n"
                      "  --hop N      samples from the start of one window to the next, at least\n"
                      "               1 (default 512)\n"
                      "  --help       show this text and exit\n"
                      "\n"
                      "Output: one line per window, in order, with two fields separated by one\n"
                      "space: the time of the window's first sample in seconds (6 decimals) and\n"
                      "the pitch in Hz (3 decimals), 0.000 when the window has no pitch:\n"
                      "  0.011610 261.626\n"
                      "Windows that would run past the end of the file are not tracked.\n"
                      "\n"
                      "Exit status: 0 on success, 1 when the file cannot be read or holds fewer\n"
                      "samples than one window, 2 for a bad option.\n";

struct Options {
    int window = 512;
    int hop = 512;
    std::string path;
};

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

int badOption(const std::string &message) {
    std::fprintf(stderr, "pitchtrack: %s\nTry 'pitchtrack --help'.\n", message.c_str());
    return 2;
}

// Returns -1 to go on, or the exit status.
int parseOptions(int argc, char **argv, Options &o) {
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
                                 (value ? std::string(", not '") + value + "'" : ""));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return badOption("unknown option '" + arg + "'");
        } else if (!o.path.empty()) {
            return badOption("one file at a time, not also '" + arg + "'");
        } else {
            o.path = arg;
        }
    }
    if (o.path.empty())
        return badOption("no file given");
    return -1;
}

int track(const Options &o) {
    pitchtrack::MonoAudio audio;
    std::string error;
    if (!pitchtrack::loadMono(o.path, audio, error)) {
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
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    for (long long start = 0; start + o.window <= total; start += o.hop) {
        const double pitch = dywapitch_computepitch(&tracker, audio.samples.data(),
                                                    static_cast<int>(start), o.window);
        std::printf("%.6f %.3f\n", static_cast<double>(start) / pitchtrack::kTrackerRate, pitch);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "pitchtrack: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    return status >= 0 ? status : track(options);
}
