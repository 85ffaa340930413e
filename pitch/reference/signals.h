// Test signals: sines with harmonics, noise, offsets and clipping at 44100 Hz.
#ifndef ARROWSONG_PITCH_REFERENCE_SIGNALS_H
#define ARROWSONG_PITCH_REFERENCE_SIGNALS_H

#include <cmath>
#include <random>
#include <vector>

namespace signals {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

inline std::vector<double> sine(double hz, int count, double amplitude = 0.5, double phase = 0.0) {
    std::vector<double> out(count);
    for (int i = 0; i < count; ++i)
        out[i] = amplitude * std::sin(2.0 * kPi * hz * i / kRate + phase);
    return out;
}

// A tone whose harmonic k has amplitude weights[k - 1].
inline std::vector<double> harmonics(double hz, int count, const std::vector<double> &weights,
                                     double phase = 0.0) {
    std::vector<double> out(count, 0.0);
    for (std::size_t k = 0; k < weights.size(); ++k) {
        const double f = hz * static_cast<double>(k + 1);
        for (int i = 0; i < count; ++i)
            out[i] += weights[k] * std::sin(2.0 * kPi * f * i / kRate + phase * (k + 1));
    }
    return out;
}

inline void addNoise(std::vector<double> &x, double level, std::mt19937 &rng) {
    std::uniform_real_distribution<double> u(-level, level);
    for (double &v : x)
        v += u(rng);
}

inline void offset(std::vector<double> &x, double dc) {
    for (double &v : x)
        v += dc;
}

inline void clip(std::vector<double> &x, double limit) {
    for (double &v : x)
        v = v > limit ? limit : (v < -limit ? -limit : v);
}

inline double cents(double hz, double reference) {
    return 1200.0 * std::log2(hz / reference);
}

} // namespace signals

#endif
