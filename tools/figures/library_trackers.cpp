#include "library_trackers.h"
#include "note_analysis.h"

#include <wavepitch.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>

namespace figures {

namespace {

using Clock = std::chrono::steady_clock;

double nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

} // namespace

const std::vector<std::string> &libraryTrackers() {
    static const std::vector<std::string> names = {"wavepitch", "aubio yin", "aubio yinfast",
                                                   "aubio yinfft", "aubio mcomb"};
    return names;
}

LibraryRun runLibraryTracker(const std::string &tracker, const std::vector<double> &samples) {
    const std::size_t count = samples.size() / kWindow;
    LibraryRun run;
    run.hz.resize(count);
    if (tracker == "wavepitch") {
        _dywapitchtracker record;
        dywapitch_inittracking(&record);
        const Clock::time_point start = Clock::now();
        for (std::size_t w = 0; w < count; ++w)
            run.hz[w] = dywapitch_computepitch(&record, samples.data() + w * kWindow, 0, kWindow);
        run.nanoseconds = nanosecondsSince(start);
        return run;
    }
    const std::string prefix = "aubio ";
    if (tracker.compare(0, prefix.size(), prefix) != 0 ||
        std::find(libraryTrackers().begin(), libraryTrackers().end(), tracker) ==
            libraryTrackers().end())
        throw std::invalid_argument("no library tracker called " + tracker);
    AubioTracker aubio(tracker.substr(prefix.size()).c_str());
    const Clock::time_point start = Clock::now();
    for (std::size_t w = 0; w < count; ++w)
        run.hz[w] = aubio(samples.data() + w * kWindow);
    run.nanoseconds = nanosecondsSince(start);
    return run;
}

SlowestWindow slowestWindow(const std::vector<double> &samples, int repeats) {
    _dywapitchtracker record;
    dywapitch_inittracking(&record);
    SlowestWindow slowest;
    for (std::size_t w = 0; w < samples.size() / kWindow; ++w) {
        const double *window = samples.data() + w * kWindow;
        double quickest = std::numeric_limits<double>::infinity();
        _dywapitchtracker after = record;
        for (int r = 0; r < std::max(1, repeats); ++r) {
            after = record;
            const Clock::time_point start = Clock::now();
            dywapitch_computepitch(&after, window, 0, kWindow);
            quickest = std::min(quickest, nanosecondsSince(start));
        }
        record = after;
        if (quickest > slowest.nanoseconds)
            slowest = {quickest, w};
    }
    return slowest;
}

} // namespace figures
