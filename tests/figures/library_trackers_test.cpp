// The datasheet's in-process trackers: each finds a plain tone with the same
// hop, every window size of ours included, and the slowest-window measure points at a real window.
#include "measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

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

} // namespace
