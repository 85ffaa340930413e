// The measurement behind the published figures: if these are wrong, every
// table is wrong with them. Signals are synthetic, so the right answer is known.
#include "measure.h"
#include "round_sim.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using figures::kRate;
using figures::kWindow;

// A sustained note: fundamental plus two weaker harmonics, as voices have,
// preceded by `silence` seconds of nothing.
std::vector<double> note(double hz, double seconds, double silence = 0.0, double gain = 0.5) {
    const auto lead = static_cast<std::size_t>(silence * kRate);
    std::vector<double> s(lead + static_cast<std::size_t>(seconds * kRate), 0.0);
    for (std::size_t i = lead; i < s.size(); ++i) {
        const double t = static_cast<double>(i - lead) / kRate;
        const double w = 2.0 * M_PI * hz * t;
        s[i] = gain * (std::sin(w) + 0.4 * std::sin(2 * w) + 0.2 * std::sin(3 * w)) / 1.6;
    }
    return s;
}

double semitones(double hz, double n) {
    return hz * std::pow(2.0, n / 12.0);
}

class TempWav {
  public:
    TempWav(const std::vector<double> &frames, int channels, int rate) {
        char name[] = "/tmp/figures-test-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            throw std::runtime_error("mkstemp");
        close(fd);
        path_ = name;
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        SNDFILE *f = sf_open(path_.c_str(), SFM_WRITE, &info);
        if (!f)
            throw std::runtime_error(sf_strerror(nullptr));
        sf_writef_double(f, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
        sf_close(f);
    }
    ~TempWav() { std::remove(path_.c_str()); }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

TEST(Reading, MixesChannelsToMonoAndRefusesOtherRates) {
    // Left 0.5, right -0.25: the mono mix is their mean.
    std::vector<double> stereo;
    for (int i = 0; i < 100; ++i) {
        stereo.push_back(0.5);
        stereo.push_back(-0.25);
    }
    TempWav ok(stereo, 2, 44100);
    const std::vector<double> mono = figures::readMono44100(ok.path());
    ASSERT_EQ(mono.size(), 100u);
    EXPECT_NEAR(mono[0], 0.125, 1e-6);
    EXPECT_NEAR(mono[99], 0.125, 1e-6);
    TempWav other(stereo, 2, 48000);
    EXPECT_THROW(figures::readMono44100(other.path()), std::runtime_error);
    EXPECT_THROW(figures::readMono44100("/nonexistent/note.wav"), std::runtime_error);
}

TEST(Cents, SignedAndNanForNoPitch) {
    EXPECT_NEAR(figures::centsOff(880.0, 440.0), 1200.0, 1e-9);
    EXPECT_NEAR(figures::centsOff(semitones(440.0, -0.5), 440.0), -50.0, 1e-9);
    EXPECT_TRUE(std::isnan(figures::centsOff(0.0, 440.0)));
    EXPECT_TRUE(std::isnan(figures::centsOff(-1.0, 440.0)));
}

TEST(Windows, OnsetAndNoteOffBoundTheJudgedWindows) {
    // 25 windows of silence, then the note: the onset is the window where it
    // starts. A window only a sixth into the note is still below half level.
    const double lead = 25.0 * kWindow / kRate;
    const std::vector<double> s = note(220.0, 1.0, lead);
    const std::size_t count = figures::windowsBefore(s, 1.3);
    EXPECT_EQ(count, static_cast<std::size_t>(1.3 * kRate) / kWindow);
    EXPECT_EQ(figures::onsetWindow(s, count), 25u);
    const std::vector<double> late = note(220.0, 1.0, lead - 80.0 / kRate);
    EXPECT_EQ(figures::onsetWindow(late, count), 25u);
    // A note-off beyond the file gives the whole windows there are.
    EXPECT_EQ(figures::windowsBefore(s, 100.0), s.size() / kWindow);
    // Silence has no onset.
    const std::vector<double> quiet(10 * kWindow, 0.0);
    EXPECT_EQ(figures::onsetWindow(quiet, 10), 10u);
}

TEST(Trackers, SilenceGivesNoPitchFromOursAtEveryWindowSize) {
    const std::vector<double> quiet(20 * kWindow, 0.0);
    for (const char *tracker : {"wavepitch", "wavepitch 1024", "wavepitch 2048"})
        for (double hz : figures::runLibraryTracker(tracker, quiet).hz)
            EXPECT_EQ(hz, 0.0) << tracker;
}

// Rounds go through the game library itself, so these pin the simulation to
// the game's judgement: in tune is a bullseye, well off is a band.
TEST(Rounds, InTuneIsABullseyeAtEveryRelease) {
    const std::vector<double> s = note(220.0, 2.0);
    const std::size_t blocks = s.size() / kWindow;
    const figures::RoundResult r = figures::playRound(s, 0, blocks, 43, 220.0);
    EXPECT_TRUE(r.atNoteOff.bullseye);
    EXPECT_NEAR(figures::centsOff(r.atNoteOff.average, 220.0), 0.0, 40.0);
    EXPECT_EQ(r.releases, blocks - 43 + 1);
    EXPECT_EQ(r.bullseyes, r.releases);
}

TEST(Rounds, SharpAndFlatLandInTheirBands) {
    // 1.5 semitones off is beyond the outermost boundary (one semitone).
    const std::vector<double> sharp = note(semitones(220.0, 1.5), 1.0);
    const figures::RoundResult up = figures::playRound(sharp, 0, sharp.size() / kWindow, 43, 220.0);
    EXPECT_FALSE(up.atNoteOff.bullseye);
    EXPECT_EQ(up.atNoteOff.yAdj, 0.5);
    EXPECT_EQ(up.bullseyes, 0u);

    // 0.7 semitones flat (70 cents) lies between 3 and 4 steps of 20 cents.
    const std::vector<double> flat = note(semitones(220.0, -0.7), 1.0);
    const figures::RoundResult down = figures::playRound(flat, 0, flat.size() / kWindow, 43, 220.0);
    EXPECT_EQ(down.atNoteOff.yAdj, -0.25);
}

TEST(Rounds, EachRoundStartsFresh) {
    // A steady round at 196 Hz, then 466 Hz: the second must not inherit the
    // first's pitches or tracker history.
    const std::vector<double> low = note(196.0, 1.0), high = note(466.16, 1.0);
    figures::playRound(low, 0, low.size() / kWindow, 43, 196.0);
    const figures::RoundResult r = figures::playRound(high, 0, high.size() / kWindow, 43, 466.16);
    EXPECT_TRUE(r.atNoteOff.bullseye);
    EXPECT_EQ(r.bullseyes, r.releases);
}

TEST(Rounds, SilenceIsJudgedFlatOutAsTheGameDoes) {
    const std::vector<double> quiet(50 * kWindow, 0.0);
    const figures::RoundResult r = figures::playRound(quiet, 0, 50, 43, 440.0);
    EXPECT_EQ(r.atNoteOff.average, 0.0);
    EXPECT_EQ(r.atNoteOff.yAdj, -0.5);
}

} // namespace
