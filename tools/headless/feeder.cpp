// e2e_feeder: writes the signal named in a control file, in real time, to a
// FIFO from which pacat plays it into the virtual microphone's null sink.
//
//   e2e_feeder FIFO CONTROL
//
// CONTROL holds one line, re-read every block (replace it atomically with mv):
//   silence
//   tone HZ [AMPLITUDE]        a sine, amplitude 0..1 (default 0.5)
//   voice HZ                   a sung-vowel-like signal: harmonics, vibrato,
//                              breath noise, amplitude shimmer
//   file PATH                  raw s16le mono 44100 Hz, looped
// An unreadable or unknown line counts as silence. The player would run dry
// while nothing is written, so the feeder keeps writing silence too, a little
// ahead of real time; the pipe is shrunk so that a change of signal reaches
// the microphone within a few tenths of a second. Ends on SIGTERM or SIGINT.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 441; // 10 ms
// Written ahead of real time: enough to ride out a stall of the feeder or of
// the player on a loaded machine, short enough that a change of signal is
// heard within a few tenths of a second.
constexpr double kLeadSeconds = 0.12;
constexpr double kTwoPi = 6.283185307179586;

volatile sig_atomic_t gStop = 0;
void onSignal(int) {
    gStop = 1;
}

struct Signal {
    std::string kind = "silence";
    double freq = 0.0;
    double amp = 0.5;
    std::string path;
    std::vector<int16_t> samples; // for "file"
    size_t pos = 0;
};

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::vector<int16_t> loadRaw(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> data;
    int16_t s = 0;
    while (in.read(reinterpret_cast<char *>(&s), sizeof s))
        data.push_back(s);
    return data;
}

// Re-reads the control file; keeps the phase and file position when the
// signal did not change, so a steady tone stays continuous.
void readControl(const char *control, Signal &sig) {
    std::ifstream in(control);
    std::string line;
    if (!std::getline(in, line))
        line = "silence";
    std::istringstream words(line);
    Signal next;
    words >> next.kind;
    if (next.kind == "tone" || next.kind == "voice") {
        if (!(words >> next.freq) || next.freq <= 0.0)
            next.kind = "silence";
        if (next.kind == "tone" && !(words >> next.amp))
            next.amp = 0.5;
    } else if (next.kind == "file") {
        words >> next.path;
    } else {
        next.kind = "silence";
    }
    if (next.kind == sig.kind && next.freq == sig.freq && next.amp == sig.amp &&
        next.path == sig.path)
        return;
    if (next.kind == "file") {
        next.samples = loadRaw(next.path);
        if (next.samples.empty()) {
            std::fprintf(stderr, "e2e_feeder: cannot read %s\n", next.path.c_str());
            next.kind = "silence";
        }
    }
    sig = std::move(next);
}

// One block of the current signal; phase carries over between blocks.
void render(Signal &sig, int16_t *out, int n, double &phase, double &t, std::mt19937 &rng) {
    std::normal_distribution<double> noise(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
        double v = 0.0;
        if (sig.kind == "tone") {
            v = sig.amp * std::sin(phase);
            phase += kTwoPi * sig.freq / kRate;
        } else if (sig.kind == "voice") {
            // 5.5 Hz vibrato of +-30 cents around the note, eight harmonics
            // with a vowel-like spectral tilt, slow shimmer and some breath.
            double vib = std::pow(2.0, 0.3 / 12.0 * std::sin(kTwoPi * 5.5 * t));
            phase += kTwoPi * sig.freq * vib / kRate;
            static const double partial[] = {1.0, 0.6, 0.45, 0.2, 0.25, 0.1, 0.08, 0.05};
            for (int h = 0; h < 8; ++h)
                v += partial[h] * std::sin((h + 1) * phase);
            v *= 0.18 * (1.0 + 0.1 * std::sin(kTwoPi * 1.3 * t));
            v += 0.01 * noise(rng);
        } else if (sig.kind == "file") {
            v = sig.samples[sig.pos] / 32768.0;
            sig.pos = (sig.pos + 1) % sig.samples.size();
        }
        if (phase > 1e6)
            phase = std::fmod(phase, kTwoPi);
        t += 1.0 / kRate;
        v = std::fmax(-1.0, std::fmin(1.0, v));
        out[i] = static_cast<int16_t>(std::lrint(v * 32767.0));
    }
}

bool writeAll(int fd, const int16_t *data, size_t bytes) {
    const char *p = reinterpret_cast<const char *>(data);
    while (bytes > 0 && !gStop) {
        ssize_t w = write(fd, p, bytes);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        bytes -= static_cast<size_t>(w);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: e2e_feeder FIFO CONTROL\n");
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int fd = open(argv[1], O_WRONLY);
    if (fd < 0) {
        std::fprintf(stderr, "e2e_feeder: cannot open %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    fcntl(fd, F_SETPIPE_SZ, 4096);

    Signal sig;
    std::mt19937 rng(7);
    double phase = 0.0, t = 0.0;
    int16_t block[kBlock];
    const double begin = now();
    long long written = 0;
    while (!gStop) {
        double due = (now() - begin + kLeadSeconds) * kRate;
        if (static_cast<double>(written) >= due) {
            usleep(2000);
            continue;
        }
        readControl(argv[2], sig);
        render(sig, block, kBlock, phase, t, rng);
        if (!writeAll(fd, block, sizeof block))
            break;
        written += kBlock;
    }
    close(fd);
    return 0;
}
