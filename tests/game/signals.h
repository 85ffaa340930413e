// Test signals: blocks of mono samples at 44100 Hz.
#pragma once

#include <cmath>
#include <vector>

namespace testsignal {

constexpr double kRate = 44100.0;

// A tone with a few harmonics, like a voice, continuing from frame `from`.
inline std::vector<double> voice(double freq, unsigned frames, unsigned long from = 0,
                                 double level = 0.5) {
    std::vector<double> out(frames);
    const double w = 2.0 * M_PI * freq / kRate;
    for (unsigned i = 0; i < frames; ++i) {
        const double t = static_cast<double>(from + i);
        out[i] = level *
                 (std::sin(w * t) + 0.5 * std::sin(2.0 * w * t) + 0.25 * std::sin(3.0 * w * t)) /
                 1.75;
    }
    return out;
}

} // namespace testsignal
