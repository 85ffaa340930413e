// Input layout (missing bytes read as zero):
//   byte 0      flags: bit 0 samples as 16-bit integers (tone-like) instead of
//               raw doubles, bit 1 pass start and count unchecked (may be
//               negative), bit 2 run a stream of windows through one record
//   bytes 1-2   sample count, bytes 3-4 start index (16-bit, signed)
//   bytes 5-16  a tracker record (double, int32), bytes 17-24 an estimate
//   the rest    the samples
#include "dywapitch_internal.h"
#include "reference_estimator.h"
#include "wavelet_levels.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"

namespace {

using fuzz::check;
using fuzz::Reader;

void checkRecord(const _dywapitchtracker &t) {
    check(t._confidence >= -1 && t._confidence <= 5);
    check(t._lastPitch == -1.0 || (t._lastPitch > 0.0 && std::isfinite(t._lastPitch)));
}

std::vector<double> samplesFrom(Reader &in, bool asIntegers) {
    std::vector<double> x;
    while (in.at < in.size)
        x.push_back(asIntegers ? in.take<std::int16_t>() / 32768.0 : in.take<double>());
    return x;
}

bool allFinite(const double *samples, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(samples[i]))
            return false;
    return true;
}

// A short window and one holding NaN or infinity are estimated as no pitch;
// every other window in the domain must match the reference implementation.
void fuzzEstimator(const std::vector<double> &x, int start, int count) {
    const double pitch = _dywapitch_computeWaveletPitch(x.data(), start, count);
    check(pitch >= 0.0 && pitch <= 2940.0);
    if (start < 0 || count < 1)
        return;
    if (allFinite(x.data() + start, _floor_power2(count))) {
        const double plain = reference::waveletPitch(x.data(), start, count);
        check(std::memcmp(&pitch, &plain, sizeof pitch) == 0);
        // The same with the baseline vectors, where the processor has wider.
        wavepitch::allowWideMasks(false);
        const double baseline = _dywapitch_computeWaveletPitch(x.data(), start, count);
        wavepitch::allowWideMasks(true);
        check(std::memcmp(&baseline, &plain, sizeof pitch) == 0);
    } else {
        check(pitch == 0.0);
    }
}

// Inside the domain the public call is the two stages chained, whatever the
// window holds; outside it the record is left as it was.
void fuzzTracking(_dywapitchtracker t, double estimate, const std::vector<double> &x, int start,
                  int count) {
    const double tracked = _dywapitch_dynamicprocess(&t, estimate);
    check(tracked == 0.0 || (tracked > 0.0 && std::isfinite(tracked)));
    checkRecord(t);
    _dywapitchtracker byHand = t;
    const _dywapitchtracker before = t;
    const double pitch = dywapitch_computepitch(&t, x.data(), start, count);
    check(pitch >= 0.0 && std::isfinite(pitch));
    if (_dywapitch_inputisvalid(x.data(), start, count)) {
        const double expected = _dywapitch_dynamicprocess(
            &byHand, _dywapitch_computeWaveletPitch(x.data(), start, count));
        check(std::memcmp(&pitch, &expected, sizeof pitch) == 0);
        check(std::memcmp(&byHand, &t, sizeof t) == 0);
    } else {
        check(pitch == 0.0);
        check(std::memcmp(&before, &t, sizeof t) == 0);
    }
    checkRecord(t);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Reader in{data, size};
    const std::uint8_t flags = in.take<std::uint8_t>();
    int count = in.take<std::uint16_t>();
    int start = in.take<std::int16_t>();
    _dywapitchtracker record;
    record._lastPitch = in.take<double>();
    record._confidence = in.take<std::int32_t>();
    const double estimate = in.take<double>();
    const std::vector<double> x = samplesFrom(in, flags & 1);
    const int available = static_cast<int>(x.size());

    if (!(flags & 2)) {
        // Within the caller's buffer, as the interface requires.
        start = available ? std::abs(start) % available : 0;
        count = count % (available - start + 1);
    } else if (start >= 0 || count > 0) {
        // Unchecked values may be negative, but never reach past the buffer.
        if (start > available)
            start = available;
        if (start >= 0 && count > available - start)
            count = available - start;
    }
    fuzzEstimator(x, start, count);
    fuzzTracking(record, estimate, x, start, count);

    if (flags & 4) {
        _dywapitchtracker t;
        dywapitch_inittracking(&t);
        for (int at = 0; at + 64 <= available; at += 64)
            check(dywapitch_computepitch(&t, x.data(), at, 64) >= 0.0);
        checkRecord(t);
    }
    return 0;
}
