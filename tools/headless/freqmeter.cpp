// e2e_freqmeter: the frequency of the loud part of a recording.
//
//   parec --raw --format=s16le --channels=1 --rate=44100 ... | e2e_freqmeter
//
// Reads raw s16le mono 44100 Hz from standard input (or the file given as the
// argument) and prints "freq HZ seconds S peak P": the frequency over the
// longest stretch whose level stays above a tenth of the recording's peak,
// from the periods between its rising zero crossings (interpolated between
// samples; periods far from the median, left by a dropped block, are
// ignored), its length in seconds and the peak (0..1).
// A pure tone of a second or more is measured to well under 0.1 Hz. Prints
// "freq 0 seconds 0 peak P" and exits 1 when there is no such stretch.
#include <algorithm>
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
    std::vector<double> periods;
    double previous = -1.0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            double t = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (previous >= 0.0)
                periods.push_back(t - previous);
            previous = t;
        }
    }
    if (periods.size() < 2) {
        std::printf("freq 0 seconds 0 peak %.3f\n", peak);
        return 1;
    }
    // A block the player or the server dropped on a loaded machine leaves a
    // jump in phase, which skews a period or two; those lie far from the
    // median and are left out of the mean that gives the frequency.
    std::vector<double> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                     sorted.end());
    const double median = sorted[sorted.size() / 2];
    double sum = 0.0;
    long kept = 0;
    for (double p : periods) {
        if (std::fabs(p - median) <= 0.02 * median) {
            sum += p;
            ++kept;
        }
    }
    double freq = kRate * static_cast<double>(kept) / sum;
    std::printf("freq %.3f seconds %.3f peak %.3f\n", freq, static_cast<double>(to - from) / kRate,
                peak);
    return 0;
}
