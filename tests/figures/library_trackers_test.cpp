// The datasheet's in-process trackers: each finds a plain tone on the same
// windows, and the slowest-window measure points at a real window.
#include "library_trackers.h"
#include "note_analysis.h"

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
        ASSERT_EQ(run.hz.size(), 40u) << tracker;
        // aubio's yinfft reads this tone about 90 cents sharp from a
        // 512-sample window, as aubiopitch -p yinfft -B 512 does too.
        const double tolerance = tracker == "aubio yinfft" ? 100.0 : 20.0;
        int right = 0;
        for (double hz : run.hz)
            right += std::fabs(figures::centsOff(hz, 330.0)) < tolerance;
        // aubio's methods need a window or two to settle.
        EXPECT_GE(right, 36) << tracker;
        EXPECT_GT(run.nanoseconds, 0.0) << tracker;
    }
    EXPECT_THROW(figures::runLibraryTracker("aubio nothing", s), std::invalid_argument);
    EXPECT_THROW(figures::runLibraryTracker("praat", s), std::invalid_argument);

    const figures::SlowestWindow slow = figures::slowestWindow(s, 2);
    EXPECT_LT(slow.window, 40u);
    EXPECT_GT(slow.nanoseconds, 0.0);
}

} // namespace
