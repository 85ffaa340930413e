#include "singer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>

namespace figures {

namespace {

constexpr double kRateHz = 44100.0;

// Formant frequencies and bandwidths (Hz) of an adult voice, four per vowel:
// textbook averages, enough to give each vowel its own balance of harmonics.
struct Formants {
    std::array<double, 4> hz, bandwidth;
};

Formants formantsOf(Vowel v) {
    switch (v) {
    case Vowel::A:
        return {{730, 1090, 2440, 3400}, {90, 110, 120, 130}};
    case Vowel::E:
        return {{530, 1840, 2480, 3500}, {70, 100, 120, 130}};
    case Vowel::I:
        return {{270, 2290, 3010, 3500}, {60, 100, 120, 130}};
    case Vowel::O:
        return {{570, 840, 2410, 3300}, {70, 90, 120, 130}};
    case Vowel::U:
        return {{300, 870, 2240, 3300}, {60, 90, 120, 130}};
    }
    throw std::invalid_argument("unknown vowel");
}

// A two-pole resonator with unit gain at 0 Hz; four in a row make the vocal
// tract of one vowel.
class Resonator {
  public:
    Resonator(double hz, double bandwidth) {
        const double r = std::exp(-M_PI * bandwidth / kRateHz);
        b1_ = 2.0 * r * std::cos(2.0 * M_PI * hz / kRateHz);
        b2_ = -r * r;
        gain_ = 1.0 - b1_ - b2_;
    }
    double operator()(double x) {
        const double y = gain_ * x + b1_ * y1_ + b2_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    double b1_ = 0.0, b2_ = 0.0, gain_ = 1.0, y1_ = 0.0, y2_ = 0.0;
};

class Tract {
  public:
    explicit Tract(Vowel v) {
        const Formants f = formantsOf(v);
        for (std::size_t i = 0; i < f.hz.size(); ++i)
            stages_.emplace_back(f.hz[i], f.bandwidth[i]);
    }
    double operator()(double x) {
        for (Resonator &r : stages_)
            x = r(x);
        return x;
    }

  private:
    std::vector<Resonator> stages_;
};

// Glottal flow over one period (phase 0 to 1): it opens over 40 % of the
// period, closes over the next 20 % and stays shut for the rest. The abrupt
// closure is what gives a voice its strong upper harmonics.
double glottalFlow(double phase) {
    if (phase < 0.4)
        return 0.5 * (1.0 - std::cos(M_PI * phase / 0.4));
    if (phase < 0.6)
        return std::cos(M_PI * (phase - 0.4) / 0.4);
    return 0.0;
}

// Raised-cosine attack and release of kAttack seconds at the voice's ends.
constexpr double kAttack = 0.04;
double envelope(double t, double length) {
    if (t < 0.0 || t > length)
        return 0.0;
    const double edge = std::min(t, length - t);
    return edge >= kAttack ? 1.0 : 0.5 * (1.0 - std::cos(M_PI * edge / kAttack));
}

double rms(const std::vector<double> &x) {
    double sum = 0.0;
    for (double v : x)
        sum += v * v;
    return x.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(x.size()));
}

} // namespace

const char *vowelName(Vowel v) {
    static const char *const names[] = {"a", "e", "i", "o", "u"};
    return names[static_cast<int>(v)];
}

const char *voicingName(Voicing v) {
    static const char *const names[] = {"silent", "edge", "voiced"};
    return names[static_cast<int>(v)];
}

std::string midiNoteName(int midiNote) {
    static const char *const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    const int octave = midiNote / 12 - 1;
    return names[midiNote % 12] + std::to_string(octave);
}

SingerNote singerNoteFor(int midiNote, std::uint32_t seed) {
    std::mt19937 rng(seed * 7919u + static_cast<std::uint32_t>(midiNote));
    SingerNote n;
    n.midiNote = midiNote;
    n.vowel = static_cast<Vowel>(midiNote % 5);
    n.vibratoHz = std::uniform_real_distribution<double>(5.0, 6.0)(rng);
    n.vibratoCents = std::uniform_real_distribution<double>(30.0, 50.0)(rng);
    return n;
}

double contourHz(const SingerNote &note, double seconds) {
    const double base = 440.0 * std::pow(2.0, (note.midiNote - 69) / 12.0);
    const double cents = note.vibratoCents * std::sin(2.0 * M_PI * note.vibratoHz * seconds);
    return base * std::pow(2.0, cents / 1200.0);
}

SungNote sing(const SingerNote &note, std::uint32_t seed) {
    if (note.midiNote < 12 || note.midiNote > 120 || !(note.voiceSeconds > 2 * kEdgeSeconds))
        throw std::invalid_argument("the singer sings MIDI notes 12 to 120 for over 0.12 s");
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const auto count = [](double s) { return static_cast<std::size_t>(std::lround(s * kRateHz)); };
    const std::size_t lead = count(note.leadSeconds), voice = count(note.voiceSeconds);
    const std::size_t total = lead + voice + count(note.tailSeconds);

    // The voiced part and the breath noise go through copies of the same
    // tract, so that the breath's level can be set against the voice's.
    std::vector<double> voiced(total, 0.0), breath(total, 0.0);
    Tract voicedTract(note.vowel), breathTract(note.vowel);
    double phase = 0.0, lastFlow = 0.0, periodScale = 1.0, amplitude = 1.0;
    for (std::size_t i = lead; i < lead + voice; ++i) {
        const double t = static_cast<double>(i - lead) / kRateHz;
        phase += contourHz(note, t) * periodScale / kRateHz;
        if (phase >= 1.0) {
            // A new period: its length and its pulse's height drawn afresh.
            phase -= std::floor(phase);
            periodScale = 1.0 / (1.0 + note.jitter * std::clamp(gauss(rng), -3.0, 3.0));
            amplitude = 1.0 + note.shimmer * std::clamp(gauss(rng), -3.0, 3.0);
        }
        const double flow = amplitude * glottalFlow(phase);
        // The lips radiate the flow's derivative; the breath is loudest
        // while the glottis is open.
        voiced[i] = voicedTract(flow - lastFlow);
        breath[i] = breathTract(gauss(rng) * (0.3 + flow));
        lastFlow = flow;
    }
    const double breathGain = std::pow(10.0, note.breathDb / 20.0) * rms(voiced) / rms(breath);
    SungNote out;
    out.samples.resize(total);
    double peak = 0.0;
    for (std::size_t i = 0; i < total; ++i) {
        const double t = static_cast<double>(i) / kRateHz - note.leadSeconds;
        out.samples[i] = envelope(t, note.voiceSeconds) * (voiced[i] + breathGain * breath[i]);
        peak = std::max(peak, std::fabs(out.samples[i]));
    }
    for (double &s : out.samples)
        s *= peak > 0.0 ? 0.5 / peak : 0.0;

    for (std::size_t i = 0; i < total; i += kTruthStep) {
        const double timeS = static_cast<double>(i) / kRateHz;
        const double t = timeS - note.leadSeconds;
        TruthPoint p;
        p.timeS = timeS;
        if (t >= kEdgeSeconds && t <= note.voiceSeconds - kEdgeSeconds)
            p.voicing = Voicing::Voiced;
        else if (t > -kEdgeSeconds && t < note.voiceSeconds + kEdgeSeconds)
            p.voicing = Voicing::Edge;
        p.hz = t >= 0.0 && t <= note.voiceSeconds ? contourHz(note, t) : 0.0;
        out.truth.push_back(p);
    }
    return out;
}

} // namespace figures
