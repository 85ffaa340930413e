// Sung test signals for the game: blocks of mono samples at 44100 Hz.
#pragma once

#include <cmath>
#include <random>
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

// Varied sung material, one continuous signal of `blocks` blocks: held notes
// with vibrato (5 to 6 Hz, 30 to 50 cents) and breath noise under them, now
// and then an octave slip (the voice jumps up an octave for a few blocks, or
// its fundamental fades so that the second harmonic carries the tone), and
// between the notes breath alone or silence. The same seed gives the same
// samples.
inline std::vector<double> sungPhrase(unsigned blocks, unsigned frames = 512, unsigned seed = 14) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> breath(0.0, 1.0);
    const unsigned total = blocks * frames;
    std::vector<double> out;
    out.reserve(total);
    double phase = 0.0;
    while (out.size() < total) {
        const double kind = unit(rng);
        if (kind < 0.15) { // silence
            const unsigned n = (2 + rng() % 6) * frames;
            for (unsigned i = 0; i < n; ++i)
                out.push_back(0.0);
            continue;
        }
        if (kind < 0.3) { // breath alone
            const unsigned n = (1 + rng() % 4) * frames;
            const double level = 0.01 + 0.04 * unit(rng);
            for (unsigned i = 0; i < n; ++i)
                out.push_back(level * breath(rng));
            continue;
        }
        // A held note from about E2 to E5.
        const double note = 40.0 + 36.0 * unit(rng);
        const double freq = 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
        const double rate = 5.0 + unit(rng), depth = (30.0 + 20.0 * unit(rng)) / 1200.0;
        const double level = 0.15 + 0.6 * unit(rng), noise = level * 0.03 * unit(rng);
        const unsigned length = (12 + rng() % 40) * frames;
        // An octave slip somewhere in the note, in one of two kinds.
        const bool slips = unit(rng) < 0.4, jumps = unit(rng) < 0.5;
        const unsigned slipFrom = length / 4 + rng() % (length / 2);
        const unsigned slipTo = slipFrom + (2 + rng() % 5) * frames;
        for (unsigned i = 0; i < length; ++i) {
            const bool slipping = slips && i >= slipFrom && i < slipTo;
            const double vibrato = std::pow(2.0, depth * std::sin(2.0 * M_PI * rate * i / kRate));
            phase += 2.0 * M_PI * freq * vibrato * (slipping && jumps ? 2.0 : 1.0) / kRate;
            const double fundamental = slipping && !jumps ? 0.05 : 1.0;
            out.push_back(level *
                              (fundamental * std::sin(phase) + 0.5 * std::sin(2.0 * phase) +
                               0.3 * std::sin(3.0 * phase) + 0.15 * std::sin(4.0 * phase)) /
                              1.95 +
                          noise * breath(rng));
        }
    }
    out.resize(total);
    return out;
}

} // namespace testsignal
