// The datasheet: the synthesised singer's truth, the scoring of frames
// against it, and the page's tables, on inputs whose right answer is known.
#include "report.h"
#include "score.h"
#include "sheet_report.h"
#include "singer.h"
#include "tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

double cents(double hz, double truth) {
    return 1200.0 * std::log2(hz / truth);
}

// The period of the signal around `centre`, measured independently of the
// synthesiser: the lag of the highest normalised autocorrelation over two
// true periods or 1024 samples, whichever is longer (short enough that the
// vibrato barely moves across it), searched from 0.6 to 1.6 true periods (so
// neither half nor double the period can win) and refined by a parabola
// through the peak.
double measuredHz(const std::vector<double> &x, std::size_t centre, double truthHz) {
    const double period = kRate / truthHz;
    const auto span = std::max<std::size_t>(static_cast<std::size_t>(2 * period), 1024);
    // x[i] is compared with x[i + lag]: the stretch compared is centred
    // half a period after the window's middle, so the window starts earlier.
    const std::size_t start = centre - (span + static_cast<std::size_t>(period)) / 2;
    const auto lo = static_cast<std::size_t>(0.6 * period);
    const auto hi = static_cast<std::size_t>(1.6 * period) + 1;
    std::vector<double> r(hi + 2, 0.0);
    for (std::size_t lag = lo - 1; lag <= hi + 1; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = start; i < start + span; ++i)
            xy += x[i] * x[i + lag], xx += x[i] * x[i], yy += x[i + lag] * x[i + lag];
        r[lag] = xy / std::sqrt(xx * yy);
    }
    std::size_t best = lo;
    for (std::size_t lag = lo; lag <= hi; ++lag)
        if (r[lag] > r[best])
            best = lag;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double shift = 0.5 * (a - c) / (a - 2 * b + c);
    return kRate / (static_cast<double>(best) + shift);
}

// The cents between the measured and the true pitch at every 2048th sample
// of the voiced part.
std::vector<double> errors(const figures::SingerNote &note) {
    const figures::SungNote sung = figures::sing(note, 99);
    std::vector<double> out;
    for (const figures::TruthPoint &p : sung.truth) {
        if (p.voicing != figures::Voicing::Voiced ||
            static_cast<int>(p.timeS * kRate) % 2048 >= figures::kTruthStep)
            continue;
        const auto centre = static_cast<std::size_t>(std::lround(p.timeS * kRate));
        out.push_back(std::fabs(cents(measuredHz(sung.samples, centre, p.hz), p.hz)));
    }
    return out;
}

TEST(Singer, MeasuredPeriodFollowsTheTruthAcrossTheRangeAndVowels) {
    for (int midi : {36, 43, 50, 57, 64, 71, 78, 84}) {
        // Without jitter the signal's period is the contour's; what is left
        // is the measure's own (the vibrato bends across three periods at
        // C2, shimmer and breath disturb the correlation a little).
        figures::SingerNote steady = figures::singerNoteFor(midi, 14);
        steady.jitter = 0.0;
        std::vector<double> e = errors(steady);
        ASSERT_GT(e.size(), 25u) << "MIDI " << midi;
        EXPECT_LT(*std::max_element(e.begin(), e.end()), 10.0)
            << "MIDI " << midi << " vowel " << figures::vowelName(steady.vowel);
        // With the datasheet's 0.5 % jitter per period the contour stays the
        // middle of the periods: a few cents off over a window, never far.
        e = errors(figures::singerNoteFor(midi, 14));
        std::sort(e.begin(), e.end());
        EXPECT_LT(e[e.size() / 2], 6.0) << "MIDI " << midi;
        EXPECT_LT(e.back(), 30.0) << "MIDI " << midi;
    }
}

TEST(Singer, SilenceVoicingVibratoAndTheSameNoteFromTheSameSeed) {
    const figures::SingerNote note = figures::singerNoteFor(60, 14);
    EXPECT_GE(note.vibratoHz, 5.0);
    EXPECT_LE(note.vibratoHz, 6.0);
    EXPECT_GE(note.vibratoCents, 30.0);
    EXPECT_LE(note.vibratoCents, 50.0);
    const figures::SungNote a = figures::sing(note, 7), b = figures::sing(note, 7);
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_NE(a.samples, figures::sing(note, 8).samples); // jitter and breath are drawn

    ASSERT_EQ(a.samples.size(), static_cast<std::size_t>(2.0 * kRate));
    double peak = 0, lo = 1e9, hi = 0;
    for (double s : a.samples)
        peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 0.5, 1e-12);
    std::size_t voiced = 0;
    for (const figures::TruthPoint &p : a.truth) {
        const auto i = static_cast<std::size_t>(std::lround(p.timeS * kRate));
        if (p.voicing == figures::Voicing::Silent) {
            EXPECT_EQ(p.hz, 0.0);
            if (i < a.samples.size()) {
                EXPECT_LT(std::fabs(a.samples[i]), 1e-3) << p.timeS;
            }
        }
        if (p.voicing == figures::Voicing::Voiced) {
            ++voiced;
            lo = std::min(lo, p.hz), hi = std::max(hi, p.hz);
            EXPECT_GE(p.timeS, 0.25 + figures::kEdgeSeconds - 1e-9);
            EXPECT_LE(p.timeS, 1.75 - figures::kEdgeSeconds + 1e-9);
        }
    }
    // 1.38 s voiced on a 64-sample grid, swinging through the whole vibrato.
    EXPECT_NEAR(static_cast<double>(voiced), 1.38 * kRate / figures::kTruthStep, 2.0);
    EXPECT_NEAR(cents(hi, 261.6256), note.vibratoCents, 0.5);
    EXPECT_NEAR(cents(lo, 261.6256), -note.vibratoCents, 0.5);
    EXPECT_EQ(figures::midiNoteName(36), "C2");
    EXPECT_EQ(figures::midiNoteName(69), "A4");
    EXPECT_THROW(figures::sing(figures::singerNoteFor(200, 1), 1), std::invalid_argument);
}

TEST(Score, ClassesOfFrameAgainstTheTruth) {
    using figures::FrameClass;
    const auto at = [](double c) { return 440.0 * std::pow(2.0, c / 1200.0); };
    EXPECT_EQ(figures::classifyFrame(at(19.9), 440.0), FrameClass::Within20);
    EXPECT_EQ(figures::classifyFrame(at(-20.1), 440.0), FrameClass::Within50);
    EXPECT_EQ(figures::classifyFrame(at(49.9), 440.0), FrameClass::Within50);
    EXPECT_EQ(figures::classifyFrame(at(50.1), 440.0), FrameClass::Other);
    EXPECT_EQ(figures::classifyFrame(at(1200 + 45), 440.0), FrameClass::OctaveUp);
    EXPECT_EQ(figures::classifyFrame(at(-1200 - 45), 440.0), FrameClass::OctaveDown);
    EXPECT_EQ(figures::classifyFrame(at(1200 + 55), 440.0), FrameClass::Other);
    EXPECT_EQ(figures::classifyFrame(at(1900), 440.0), FrameClass::Other); // a fifth above
    EXPECT_EQ(figures::classifyFrame(0.0, 440.0), FrameClass::NoPitch);
    EXPECT_EQ(figures::octaveBand(65.41), "C2–B2");
    EXPECT_EQ(figures::octaveBand(123.0), "C2–B2"); // B2, with vibrato
    EXPECT_EQ(figures::octaveBand(128.0), "C3–B3"); // nearest note C3
}

figures::Table files() {
    return figures::parseTsv("#file\tmaterial\tkind\tsource\tgoal_hz\tfrom_s\tto_s\n"
                             "s.wav\tSinger\tsinger\tsinger-57\t0\t0\t0\n"
                             "n.wav\tSinger + reverb\tsinger\tsinger-57\t0\t0\t0\n"
                             "f.wav\tSampled\tsampled\t-\t440\t0.15\t1.0\n"
                             "q.wav\tSilence\tsilence\t-\t0\t0\t0\n",
                             "files.tsv");
}

// A truth grid of 64 samples: silent, then voiced at 220 Hz from grid
// point 3 on.
figures::Table truth() {
    std::string text = "#file\ttime_s\ttruth_hz\tvoicing\n";
    for (int i = 0; i < 10; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "singer-57\t%.6f\t%s\n", i * 64 / kRate,
                      i < 3 ? "0\tsilent" : "220\tvoiced");
        text += line;
    }
    return figures::parseTsv(text, "truth.tsv");
}

TEST(Score, TruthByFileKindAndFrameCentre) {
    const figures::SheetTruth t(files(), truth());
    EXPECT_EQ(t.at("s.wav", 2 * 64 / kRate).expect, figures::Expect::Unscored);
    // The nearest grid point wins: 2.6 grid steps is point 3.
    const figures::Expected e = t.at("n.wav", 2.6 * 64 / kRate);
    EXPECT_EQ(e.expect, figures::Expect::Pitch);
    EXPECT_EQ(e.hz, 220.0);
    EXPECT_EQ(t.at("s.wav", 1.0).expect, figures::Expect::Unscored); // beyond the grid
    EXPECT_EQ(t.at("f.wav", 0.1).expect, figures::Expect::Unscored);
    EXPECT_EQ(t.at("f.wav", 0.5).hz, 440.0);
    EXPECT_EQ(t.at("q.wav", 0.5).expect, figures::Expect::NoPitch);
    EXPECT_TRUE(t.isFalseMaterial("q.wav"));
    EXPECT_EQ(t.material("n.wav"), "Singer + reverb");
    EXPECT_EQ(t.materials(),
              (std::vector<std::string>{"Singer", "Singer + reverb", "Sampled", "Silence"}));
    EXPECT_THROW(t.at("other.wav", 0.5), std::runtime_error);
    EXPECT_THROW(figures::SheetTruth(figures::parseTsv("#file\tmaterial\tkind\tsource\n"
                                                       "x.wav\tX\tsinger\tsinger-99\n",
                                                       "f"),
                                     truth()),
                 std::runtime_error); // no truth for its source
}

TEST(Score, TalliesPerTrackerMaterialAndBand) {
    const figures::SheetTruth t(files(), truth());
    figures::Scores s;
    s.add(t, figures::parseTsv("#file\ttracker\ttime_s\thz\n"
                               "f.wav\tA\t0.5\t441\n"   // within 20
                               "f.wav\tA\t0.6\t880\n"   // octave up
                               "f.wav\tA\t0.7\t220\n"   // octave down
                               "f.wav\tA\t0.8\t0\n"     // no pitch
                               "f.wav\tA\t0.05\t0\n"    // before the scored span
                               "q.wav\tA\t0.1\t100\n"   // a pitch on silence
                               "q.wav\tA\t0.2\t0\n"     // rightly none
                               "s.wav\tB\t0.01\t230\n", // B: 230 against 220, 77 cents
                               "p.tsv"));
    EXPECT_EQ(s.trackers, (std::vector<std::string>{"A", "B"}));
    const figures::Tally &a = s.voiced.at({"A", "Sampled"});
    EXPECT_EQ(a.frames, 4u);
    EXPECT_DOUBLE_EQ(a.within50Pct(), 25.0);
    EXPECT_DOUBLE_EQ(a.pct(figures::FrameClass::OctaveUp), 25.0);
    EXPECT_DOUBLE_EQ(a.pct(figures::FrameClass::OctaveDown), 25.0);
    EXPECT_DOUBLE_EQ(a.pct(figures::FrameClass::NoPitch), 25.0);
    EXPECT_EQ(s.bands.at({"A", "Sampled"}).at("C4–B4").frames, 4u);
    EXPECT_EQ(s.falsePitches.at({"A", "Silence"})[0], 2u);
    EXPECT_EQ(s.falsePitches.at({"A", "Silence"})[1], 1u);
    EXPECT_DOUBLE_EQ(s.voiced.at({"B", "Singer"}).pct(figures::FrameClass::Other), 100.0);
    EXPECT_TRUE(std::isnan(figures::Tally().pct(figures::FrameClass::Other)));
}

std::vector<figures::SheetRow> rows() {
    return figures::sheetRows(figures::parseTsv(
        "#tracker\tmaterial\tframes\twithin50_pct\twithin20_pct\toctave_up_pct\toctave_down_pct"
        "\tno_pitch_pct\tother_pct\n"
        "ours\tSinger\t100\t90\t80\t1\t2\t3\t4\n"
        "ours\tNoisy\t300\t50\t40\t0\t0\t50\t0\n"
        "peer\tNoisy\t10\t100\t100\t0\t0\t0\t0\n",
        "sheet.tsv"));
}

TEST(SheetPage, OneLinePerTrackerOneColumnPerMaterial) {
    const std::string table =
        figures::measureTable(rows(), "Within 50", [](const figures::SheetRow &r) {
            return figures::format("%.0f", r.within50);
        });
    EXPECT_EQ(table, "| Within 50 | Singer | Noisy |\n| --- | ---: | ---: |\n"
                     "| ours | 90 | 50 |\n| peer | – | 100 |");
    // Weighted by frames: (90 + 150) of 400.
    EXPECT_DOUBLE_EQ(figures::overallWithin50(rows(), "ours"), 60.0);
    EXPECT_TRUE(std::isnan(figures::overallWithin50(rows(), "absent")));
}

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/figures-sheet-XXXXXX";
        if (!mkdtemp(name))
            throw std::runtime_error("mkdtemp");
        path_ = name;
    }
    ~TempDir() {
        for (const char *f : {"speed.tsv", "sptk-speed.tsv", "praat-times.tsv"})
            std::remove((path_ + "/" + f).c_str());
        rmdir(path_.c_str());
    }
    void write(const std::string &name, const std::string &text) const {
        std::ofstream(path_ + "/" + name) << text;
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

TEST(SheetPage, SpeedsPerSampleFromEachToolsOwnTiming) {
    TempDir dir;
    EXPECT_TRUE(figures::speeds(dir.path()).empty()); // no tool ran: no rows
    dir.write("speed.tsv", "#tracker\tsamples\tnanoseconds\tpasses\nours\t1000\t2000\t3\n");
    // Two files, 1 ms of start-up each, taken off the 5 ms the processes took.
    dir.write("sptk-speed.tsv", "#tracker\tfiles\tsamples\tnanoseconds\tstartup_ns\n"
                                "sptk rapt\t2\t1000\t5000000\t1000000\n");
    dir.write("praat-times.tsv", "#file\tsamples\tseconds\na\t500\t0.001\nb\t500\t0.002\n");
    const std::vector<figures::Speed> s = figures::speeds(dir.path());
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].tracker, "ours");
    EXPECT_DOUBLE_EQ(s[0].nsPerSample, 2.0);
    EXPECT_NE(s[0].how.find("3 passes"), std::string::npos);
    EXPECT_DOUBLE_EQ(s[1].nsPerSample, 3000.0);
    EXPECT_EQ(s[2].tracker, "praat ac");
    EXPECT_DOUBLE_EQ(s[2].nsPerSample, 3000.0);
}

} // namespace
