#include "measure.h"

#include <aubio/aubio.h>
#include <sndfile.h>
#include <wavepitch.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace figures {

std::vector<double> readMono44100(const std::string &path) {
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    std::vector<double> frames(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_double(file, frames.data(), info.frames);
    sf_close(file);
    if (info.samplerate != kRate || read != info.frames)
        throw std::runtime_error(path + ": not a whole 44100 Hz file");
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> mono(static_cast<std::size_t>(info.frames), 0.0);
    for (std::size_t i = 0; i < frames.size(); ++i)
        mono[i / channels] += frames[i] / static_cast<double>(channels);
    return mono;
}

double centsOff(double hz, double goalHz) {
    if (!(hz > 0.0) || !(goalHz > 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    return 1200.0 * std::log2(hz / goalHz);
}

static double windowRms(const std::vector<double> &samples, std::size_t window) {
    double sum = 0.0;
    for (std::size_t i = window * kWindow; i < (window + 1) * kWindow; ++i)
        sum += samples[i] * samples[i];
    return std::sqrt(sum / kWindow);
}

std::size_t onsetWindow(const std::vector<double> &samples, std::size_t windowCount) {
    windowCount = std::min(windowCount, samples.size() / kWindow);
    std::vector<double> rms(windowCount);
    for (std::size_t w = 0; w < windowCount; ++w)
        rms[w] = windowRms(samples, w);
    const double loudest = rms.empty() ? 0.0 : *std::max_element(rms.begin(), rms.end());
    if (loudest <= 0.0)
        return windowCount;
    for (std::size_t w = 0; w < windowCount; ++w)
        if (rms[w] >= 0.5 * loudest)
            return w;
    return windowCount;
}

std::size_t windowsBefore(const std::vector<double> &samples, double seconds) {
    const double limit = std::max(0.0, seconds) * kRate;
    const auto byTime = static_cast<std::size_t>(limit) / kWindow;
    return std::min(byTime, samples.size() / kWindow);
}

namespace {

// One aubio detector ("yin", "yinfast", "yinfft", "mcomb") over
// non-overlapping 512-sample windows, at aubio's default tolerance and
// silence threshold, keeping its state between windows as aubiopitch does.
class AubioTracker {
  public:
    explicit AubioTracker(const char *method)
        : pitch_(new_aubio_pitch(method, kWindow, kWindow, kRate)), in_(new_fvec(kWindow)),
          out_(new_fvec(1)) {
        if (!pitch_)
            throw std::runtime_error(std::string("aubio cannot make a ") + method + " detector");
        aubio_pitch_set_unit(pitch_, "Hz");
    }
    ~AubioTracker() {
        del_fvec(out_);
        del_fvec(in_);
        if (pitch_)
            del_aubio_pitch(pitch_);
    }
    AubioTracker(const AubioTracker &) = delete;
    AubioTracker &operator=(const AubioTracker &) = delete;
    // The pitch of the next window of kWindow samples; 0.0 for none.
    double operator()(const double *window) {
        for (uint_t i = 0; i < kWindow; ++i)
            in_->data[i] = static_cast<smpl_t>(window[i]);
        aubio_pitch_do(pitch_, in_, out_);
        return std::max(0.0, static_cast<double>(out_->data[0]));
    }

  private:
    aubio_pitch_t *pitch_;
    fvec_t *in_, *out_;
};

using Clock = std::chrono::steady_clock;

double nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

} // namespace

const std::vector<std::string> &libraryTrackers() {
    static const std::vector<std::string> names = {"wavepitch",  "wavepitch 1024", "wavepitch 2048",
                                                   "aubio yin",  "aubio yinfast",  "aubio yinfft",
                                                   "aubio mcomb"};
    return names;
}

LibraryRun runLibraryTracker(const std::string &tracker, const std::vector<double> &samples) {
    if (std::find(libraryTrackers().begin(), libraryTrackers().end(), tracker) ==
        libraryTrackers().end())
        throw std::invalid_argument("no library tracker called " + tracker);
    // "wavepitch N" reads N samples from each window's start; the hop stays 512.
    const bool ours = tracker.compare(0, 9, "wavepitch") == 0;
    const std::size_t size =
        ours && tracker.size() > 10 ? std::stoul(tracker.substr(10)) : std::size_t(kWindow);
    const std::size_t count = samples.size() < size ? 0 : (samples.size() - size) / kWindow + 1;
    LibraryRun run;
    run.hz.resize(count);
    for (std::size_t w = 0; w < count; ++w)
        run.timeS.push_back(static_cast<double>(w * kWindow + size / 2) / kRate);
    if (ours) {
        _dywapitchtracker record;
        dywapitch_inittracking(&record);
        const Clock::time_point start = Clock::now();
        for (std::size_t w = 0; w < count; ++w)
            run.hz[w] = dywapitch_computepitch(
                &record, samples.data(), static_cast<int>(w * kWindow), static_cast<int>(size));
        run.nanoseconds = nanosecondsSince(start);
        return run;
    }
    AubioTracker aubio(tracker.substr(6).c_str());
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
