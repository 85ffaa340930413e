#include "note_analysis.h"

#include <aubio/aubio.h>
#include <mono_audio.h>
#include <wavepitch.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace figures {

std::vector<double> readMono44100(const std::string &path) {
    pitchtrack::MonoAudio audio;
    std::string error;
    if (!pitchtrack::loadMono(path, audio, error))
        throw std::runtime_error(error);
    return std::move(audio.samples);
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

struct AubioTracker::Detector {
    aubio_pitch_t *pitch = nullptr;
    fvec_t *in = nullptr;
    fvec_t *out = nullptr;
    ~Detector() {
        if (out)
            del_fvec(out);
        if (in)
            del_fvec(in);
        if (pitch)
            del_aubio_pitch(pitch);
    }
};

AubioTracker::AubioTracker(const char *method) : detector_(new Detector) {
    detector_->pitch = new_aubio_pitch(method, kWindow, kWindow, kRate);
    detector_->in = new_fvec(kWindow);
    detector_->out = new_fvec(1);
    if (!detector_->pitch || !detector_->in || !detector_->out)
        throw std::runtime_error(std::string("aubio cannot make a ") + method + " detector");
    aubio_pitch_set_unit(detector_->pitch, "Hz");
}

AubioTracker::~AubioTracker() = default;

double AubioTracker::operator()(const double *window) {
    for (uint_t i = 0; i < kWindow; ++i)
        detector_->in->data[i] = static_cast<smpl_t>(window[i]);
    aubio_pitch_do(detector_->pitch, detector_->in, detector_->out);
    return std::max(0.0, static_cast<double>(detector_->out->data[0]));
}

WindowPitches trackWindows(const std::vector<double> &samples, std::size_t count) {
    count = std::min(count, samples.size() / kWindow);
    WindowPitches out;
    _dywapitchtracker record;
    dywapitch_inittracking(&record);
    AubioTracker yin("yin"), yinfast("yinfast");
    for (std::size_t w = 0; w < count; ++w) {
        const double *window = samples.data() + w * kWindow;
        out.ours.push_back(dywapitch_computepitch(&record, window, 0, kWindow));
        out.yin.push_back(yin(window));
        out.yinfast.push_back(yinfast(window));
    }
    return out;
}

double shareWithin(const std::vector<double> &pitches, std::size_t from, std::size_t to,
                   double goalHz, double cents) {
    to = std::min(to, pitches.size());
    if (from >= to)
        return 0.0;
    std::size_t hits = 0;
    for (std::size_t w = from; w < to; ++w)
        if (std::fabs(centsOff(pitches[w], goalHz)) <= cents)
            ++hits;
    return static_cast<double>(hits) / static_cast<double>(to - from);
}

} // namespace figures
