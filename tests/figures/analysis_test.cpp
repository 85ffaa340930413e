// The measurement behind the published figures: if these are wrong, every
// table is wrong with them. Signals are synthetic, so the right answer is known.
#include "measure.h"
#include "round_sim.h"

#include <gtest/gtest.h>
#include <sndfile.h>

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

// Writes interleaved frames as a 24-bit WAV file in the test's temporary folder.
std::string writeWav(const std::string &name, const std::vector<double> &frames, int rate) {
    const std::string path = ::testing::TempDir() + name;
    SF_INFO info{0, rate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error(sf_strerror(nullptr));
    sf_writef_double(f, frames.data(), static_cast<sf_count_t>(frames.size()) / 2);
    sf_close(f);
    return path;
}

TEST(Reading, MixesChannelsToMonoAndRefusesOtherRates) {
    // Left 0.5, right -0.25: the mono mix is their mean.
    std::vector<double> stereo;
    for (int i = 0; i < 100; ++i)
        stereo.insert(stereo.end(), {0.5, -0.25});
    const std::string ok = writeWav("figures-44100.wav", stereo, 44100);
    const std::vector<double> mono = figures::readMono44100(ok);
    ASSERT_EQ(mono.size(), 100u);
    EXPECT_NEAR(mono[0], 0.125, 1e-6);
    EXPECT_NEAR(mono[99], 0.125, 1e-6);
    const std::string other = writeWav("figures-48000.wav", stereo, 48000);
    EXPECT_THROW(figures::readMono44100(other), std::runtime_error);
    EXPECT_THROW(figures::readMono44100("/nonexistent/note.wav"), std::runtime_error);
    std::remove(ok.c_str());
    std::remove(other.c_str());
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

// The datasheet's in-process trackers: each finds a plain tone with the same
// hop, every window size of ours included, and the slowest-window measure
// points at a real window.
TEST(LibraryTrackers, EveryTrackerFindsAToneOnEveryWindow) {
    // 330 Hz with two harmonics, 40 windows.
    std::vector<double> s(40 * figures::kWindow);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double w = 2 * M_PI * 330.0 * static_cast<double>(i) / figures::kRate;
        s[i] = 0.3 * std::sin(w) + 0.1 * std::sin(2 * w) + 0.05 * std::sin(3 * w);
    }
    s.resize(s.size() + 100); // a partial window at the end is left out
    for (const std::string &tracker : figures::libraryTrackers()) {
        const figures::LibraryRun run = figures::runLibraryTracker(tracker, s);
        // Longer windows of ours start every 512 samples while they fit.
        const std::size_t size = tracker == "wavepitch 2048"   ? 2048
                                 : tracker == "wavepitch 1024" ? 1024
                                                               : 512;
        ASSERT_EQ(run.hz.size(), (s.size() - size) / figures::kWindow + 1) << tracker;
        ASSERT_EQ(run.timeS.size(), run.hz.size()) << tracker;
        EXPECT_DOUBLE_EQ(run.timeS[1], (512.0 + size / 2.0) / figures::kRate) << tracker;
        // aubio's yinfft reads this tone about 90 cents sharp from a
        // 512-sample window, as aubiopitch -p yinfft -B 512 does too.
        const double tolerance = tracker == "aubio yinfft" ? 100.0 : 20.0;
        int right = 0;
        for (double hz : run.hz)
            right += std::fabs(figures::centsOff(hz, 330.0)) < tolerance;
        // aubio's methods need a window or two to settle.
        EXPECT_GE(right, static_cast<int>(run.hz.size()) - 4) << tracker;
        EXPECT_GT(run.nanoseconds, 0.0) << tracker;
    }
    EXPECT_THROW(figures::runLibraryTracker("aubio nothing", s), std::invalid_argument);
    EXPECT_THROW(figures::runLibraryTracker("praat", s), std::invalid_argument);

    const figures::SlowestWindow slow = figures::slowestWindow(s, 2);
    EXPECT_LT(slow.window, 40u);
    EXPECT_GT(slow.nanoseconds, 0.0);
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
