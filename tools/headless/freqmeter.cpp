// e2e_freqmeter: the frequency of the loud part of a recording.
//
//   parec --raw --format=s16le --channels=1 --rate=44100 ... | e2e_freqmeter
//
// Reads raw s16le mono 44100 Hz from standard input (or the file given as the
// argument) and prints "freq HZ seconds S peak P": the frequency over the
// longest stretch whose level stays above a tenth of the recording's peak,
// measured from the first to the last rising zero crossing in that stretch
// (interpolated between samples), its length in seconds and the peak (0..1).
// A pure tone of a second or more is measured to well under 0.1 Hz. Prints
// "freq 0 seconds 0 peak P" and exits 1 when there is no such stretch.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr size_t kWindow = 441; // level measured per 10 ms

std::vector<double> readAll(FILE *in) {
    std::vector<double> x;
    int16_t buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, sizeof buf[0], 4096, in)) > 0)
        for (size_t i = 0; i < n; ++i)
            x.push_back(buf[i] / 32768.0);
    return x;
}

// The longest run of windows whose peak is above the threshold, in samples.
void loudestStretch(const std::vector<double> &x, double threshold, size_t &from, size_t &to) {
    from = to = 0;
    size_t runStart = 0;
    bool inRun = false;
    for (size_t w = 0; w * kWindow < x.size(); ++w) {
        size_t a = w * kWindow, b = std::min(x.size(), a + kWindow);
        double peak = 0.0;
        for (size_t i = a; i < b; ++i)
            peak = std::fmax(peak, std::fabs(x[i]));
        bool loud = peak >= threshold;
        if (loud && !inRun)
            runStart = a;
        if (loud && b - runStart > to - from) {
            from = runStart;
            to = b;
        }
        inRun = loud;
    }
}

} // namespace

int main(int argc, char **argv) {
    FILE *in = argc > 1 ? std::fopen(argv[1], "rb") : stdin;
    if (!in) {
        std::perror(argv[1]);
        return 2;
    }
    std::vector<double> x = readAll(in);
    double peak = 0.0;
    for (double v : x)
        peak = std::fmax(peak, std::fabs(v));

    size_t from = 0, to = 0;
    if (peak > 0.0)
        loudestStretch(x, 0.1 * peak, from, to);
    double first = -1.0, last = -1.0;
    long crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            double t = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 3) {
        std::printf("freq 0 seconds 0 peak %.3f\n", peak);
        return 1;
    }
    double freq = static_cast<double>(crossings - 1) * kRate / (last - first);
    std::printf("freq %.3f seconds %.3f peak %.3f\n", freq, static_cast<double>(to - from) / kRate,
                peak);
    return 0;
}
