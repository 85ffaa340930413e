// Tracking stage and the exported interface.
//
// The record remembers the last accepted pitch and how far it is trusted.
// Estimates within 20 % of it are accepted, an estimate near half or double a
// well-trusted pitch is taken as an octave error and corrected, and a short
// run of wild or missing estimates is bridged by repeating the last pitch
// while the confidence lasts.

#include "dywapitch_internal.h"

#include <climits>
#include <cmath>

namespace {

constexpr double kNoPitch = -1.0;
// The accepted deviation is the single-precision 0.2, widened: 0.20000000298...
// Estimates that deviate by exactly the double 0.2 therefore count as close.
constexpr double kMaxDeviation = static_cast<double>(0.2f);
constexpr int kMaxConfidence = 5;
constexpr int kOctaveConfidence = kMaxConfidence - 2;
// Octave errors: the estimate doubled is tried first, then halved.
constexpr double kOctaveFactors[] = {2.0, 0.5};

// The difference in whole hertz, its fraction dropped. Differences beyond the
// range of an int saturate; such a candidate can only be close if it is
// itself beyond any audible pitch.
int wholeHertz(double difference) {
    if (difference >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (difference <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(difference);
}

// The deviation is measured relative to the candidate, not the last pitch.
bool isClose(double lastPitch, double candidate) {
    const double difference = lastPitch - candidate;
    if (std::isnan(difference))
        return false;
    return static_cast<double>(_iabs(wholeHertz(difference))) / candidate < kMaxDeviation;
}

double followPitch(_dywapitchtracker *t, double estimate) {
    if (t->_lastPitch == kNoPitch) {
        t->_lastPitch = estimate;
        t->_confidence = 1;
        return estimate;
    }
    if (isClose(t->_lastPitch, estimate)) {
        t->_lastPitch = estimate;
        if (t->_confidence < kMaxConfidence)
            ++t->_confidence;
        return estimate;
    }
    if (t->_confidence >= kOctaveConfidence) {
        for (double factor : kOctaveFactors) {
            if (isClose(t->_lastPitch, factor * estimate)) {
                t->_lastPitch = factor * estimate;
                return t->_lastPitch;
            }
        }
    }
    if (t->_confidence >= 1) {
        --t->_confidence;
        return t->_lastPitch;
    }
    t->_lastPitch = estimate;
    t->_confidence = 1;
    return estimate;
}

double bridgeGap(_dywapitchtracker *t) {
    if (t->_lastPitch == kNoPitch)
        return kNoPitch;
    if (t->_confidence >= 1) {
        --t->_confidence;
        return t->_lastPitch;
    }
    t->_lastPitch = kNoPitch;
    t->_confidence = 0;
    return kNoPitch;
}

// What dywapitch_inittracking and the stage itself can leave in a record. The
// caller owns the record, so anything else means it was never initialised.
bool isSane(const _dywapitchtracker *t) {
    const bool pitchOk =
        t->_lastPitch == kNoPitch || (t->_lastPitch > 0.0 && std::isfinite(t->_lastPitch));
    return pitchOk && t->_confidence >= -1 && t->_confidence <= kMaxConfidence;
}

} // namespace

extern "C" {

void dywapitch_inittracking(_dywapitchtracker *pitchtracker) {
    if (pitchtracker == nullptr)
        return;
    pitchtracker->_lastPitch = kNoPitch;
    pitchtracker->_confidence = -1;
}

int _dywapitch_inputisvalid(const double *samples, int startsample, int samplecount) {
    return samples != nullptr && startsample >= 0 && samplecount >= 0 ? 1 : 0;
}

double _dywapitch_dynamicprocess(_dywapitchtracker *pitchtracker, double pitch) {
    if (pitchtracker == nullptr)
        return 0.0;
    if (!isSane(pitchtracker))
        dywapitch_inittracking(pitchtracker);
    // The estimator gives 0.0 or a positive pitch below 3000 Hz. Anything else
    // from another caller (a negative, NaN or infinite value, or one so large
    // that its octave would overflow) is taken as no pitch too.
    const bool isPitch = pitch > 0.0 && pitch <= 1.0e300;
    double result = isPitch ? followPitch(pitchtracker, pitch) : bridgeGap(pitchtracker);
    if (pitchtracker->_confidence < 1)
        result = kNoPitch;
    return result == kNoPitch ? 0.0 : result;
}

double dywapitch_computepitch(_dywapitchtracker *pitchtracker, const double *samples,
                              int startsample, int samplecount) {
    // A window too short to hold a period, or one holding NaN or infinity, is
    // estimated as no pitch and then tracked like any other gap: the history
    // bridges it. Only a call outside the domain leaves the record alone.
    if (pitchtracker == nullptr || !_dywapitch_inputisvalid(samples, startsample, samplecount))
        return 0.0;
    return _dywapitch_dynamicprocess(
        pitchtracker, _dywapitch_computeWaveletPitch(samples, startsample, samplecount));
}

} // extern "C"
