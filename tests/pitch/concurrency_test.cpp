// The module keeps no state of its own: threads with their own records and
// windows cannot disturb each other.
#include "dywapitch_internal.h"
#include "signals.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<double> track(const std::vector<double> &x, int window) {
    _dywapitchtracker t;
    dywapitch_inittracking(&t);
    std::vector<double> out;
    for (int start = 0; start + window <= static_cast<int>(x.size()); start += window / 2)
        out.push_back(dywapitch_computepitch(&t, x.data(), start, window));
    return out;
}

TEST(Concurrency, ThreadsWithTheirOwnRecordsAreIndependent) {
    const auto low = signals::harmonics(150.0, 44100 / 4, {0.5, 0.5, 0.3});
    const auto high = signals::sine(900.0, 44100 / 4);
    const auto lowAlone = track(low, 1024), highAlone = track(high, 512);
    std::vector<double> lowTogether, highTogether;
    std::thread a([&] { lowTogether = track(low, 1024); });
    std::thread b([&] { highTogether = track(high, 512); });
    a.join();
    b.join();
    EXPECT_EQ(lowTogether, lowAlone);
    EXPECT_EQ(highTogether, highAlone);
    EXPECT_GT(lowAlone.back(), 0.0);
    EXPECT_GT(highAlone.back(), 0.0);
}

} // namespace
