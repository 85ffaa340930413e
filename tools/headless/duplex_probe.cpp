// e2e_duplex_probe: checks the harness's audio set-up the way the game uses
// it. Opens one duplex stream on the default devices (1 channel each way,
// 64-bit float, 44100 Hz, 512-frame blocks), plays a sine at HZ for SECONDS,
// records the input, and prints
//   devices N
//   frames_per_second F   (frames the callback saw over the last second)
//   input_freq F          (zero-crossing frequency of the last second of input)
//   input_peak P
// Exit status 1 when the stream cannot be opened.
//
//   e2e_duplex_probe HZ SECONDS
#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kRate = 44100;
constexpr double kTwoPi = 6.283185307179586;

struct Probe {
    double freq = 440.0;
    double phase = 0.0;
    std::vector<double> recording; // sized before the stream starts
    std::atomic<size_t> frames{0};
};

int callback(void *out, void *in, unsigned n, double, RtAudioStreamStatus, void *user) {
    auto *p = static_cast<Probe *>(user);
    auto *o = static_cast<double *>(out);
    auto *i = static_cast<const double *>(in);
    size_t at = p->frames.load(std::memory_order_relaxed);
    for (unsigned k = 0; k < n; ++k) {
        o[k] = 0.5 * std::sin(p->phase);
        p->phase = std::fmod(p->phase + kTwoPi * p->freq / kRate, kTwoPi);
        if (at + k < p->recording.size())
            p->recording[at + k] = i ? i[k] : 0.0;
    }
    p->frames.store(at + n, std::memory_order_relaxed);
    return 0;
}

// The frequency of a sine from the median period between its upward zero
// crossings: a block lost or delayed on the way (under load the microphone's
// player can run dry for a moment) skews the one period around it, not the
// answer.
double zeroCrossingFreq(const std::vector<double> &x, size_t from, size_t to, double &peak) {
    std::vector<double> periods;
    double last = -1.0;
    peak = 0.0;
    for (size_t k = from + 1; k < to; ++k) {
        peak = std::fmax(peak, std::fabs(x[k]));
        if (x[k - 1] < 0.0 && x[k] >= 0.0) {
            const double t = static_cast<double>(k - 1) + -x[k - 1] / (x[k] - x[k - 1]);
            if (last >= 0.0)
                periods.push_back(t - last);
            last = t;
        }
    }
    if (periods.size() < 2)
        return 0.0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return kRate / periods[periods.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: e2e_duplex_probe HZ SECONDS\n");
        return 2;
    }
    Probe probe;
    probe.freq = std::atof(argv[1]);
    const double seconds = std::atof(argv[2]);
    probe.recording.assign(static_cast<size_t>((seconds + 2.0) * kRate), 0.0);

    RtAudio audio;
    std::printf("devices %u\n", audio.getDeviceCount());
    if (audio.getDeviceCount() < 1)
        return 1;
    RtAudio::StreamParameters outParams, inParams;
    outParams.deviceId = audio.getDefaultOutputDevice();
    outParams.nChannels = 1;
    inParams.deviceId = audio.getDefaultInputDevice();
    inParams.nChannels = 1;
    unsigned frames = 512;
    try {
        audio.openStream(&outParams, &inParams, RTAUDIO_FLOAT64, kRate, &frames, callback, &probe);
        audio.startStream();
    } catch (RtAudioError &e) {
        e.printMessage();
        return 1;
    }
    auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds - 1.0));
    size_t a = probe.frames.load(std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    size_t b = probe.frames.load(std::memory_order_relaxed);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    audio.stopStream();
    audio.closeStream();

    b = std::min(b, probe.recording.size());
    double peak = 0.0;
    double freq = zeroCrossingFreq(probe.recording, std::min(a, b), b, peak);
    std::printf("block %u\nframes_per_second %zu\ninput_freq %.2f\ninput_peak %.3f\nseconds %.2f\n",
                frames, b - std::min(a, b), freq, peak, elapsed);
    return 0;
}
