// Wavelet pitch estimator.
//
// The window is halved level by level with the approximation half of a Haar
// step (the mean of each pair of samples). At each level the maxima and
// minima are marked and the distances between neighbouring extrema of the
// same kind are counted; the most common distance is the level's mode. When
// the modes of two successive levels agree, the earlier one gives the period.
//
// Every result must equal, bit for bit, that of the plain algorithm, so the
// floating-point operations below are the plain ones on the plain values, and
// the sum runs in sample order. The savings are elsewhere: level 0 reads the
// caller's samples without a copy and the first decimation is made while they
// are summed; the extrema scan tests four samples at a time and applies the
// full rules only where something can change; the histogram is cleared and
// searched only where distances were counted, and the mode search keeps a
// running window sum instead of re-adding it.

#include "dywapitch_internal.h"
#include "wavelet_levels.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wavepitch {
namespace {

constexpr int kSampleRate = 44100;
constexpr double kMaxFrequency = 3000.0;
constexpr int kLevels = 6;
constexpr double kThresholdRatio = 0.75;
constexpr double kNoMode = -1.0;
// Windows up to this size are estimated in stack storage: the game calls the
// estimator from the audio thread, where nothing may allocate.
constexpr int kStackWindow = 4096;

struct Scratch {
    double *decimated; // n / 2 samples: level 0 reads the caller's window
    int *histogram;    // one counter per distance of level 0
    int *minima;
    int *maxima;
    // Of each position list. Two marks of a kind are at least two samples
    // apart (a fresh crossing must come between), so n / 2 always suffices;
    // the limit only guards the arrays.
    int capacity;
};

// Minimum spacing of two extrema of a kind at a level, in that level's samples.
int spacingAt(int level) {
    return static_cast<int>(kSampleRate / (_2power(level) * kMaxFrequency));
}

double levelMode(const Scratch &s, const Extrema &ex, int n, int size, int delta) {
    const DistanceRange range = rangeOfDistances(ex);
    if (range.lo > range.hi)
        return kNoMode;
    const int from = range.lo - 2 * delta > 0 ? range.lo - 2 * delta : 0;
    const int to = range.hi + 2 * delta < size - 1 ? range.hi + 2 * delta : size - 1;
    std::memset(s.histogram + from, 0, static_cast<std::size_t>(to - from + 1) * sizeof(int));
    countDistances(ex, s.histogram);
    return modeAround(s.histogram, size, bestDistance(s.histogram, n, delta, range), delta);
}

double estimate(const double *window, int size, const Scratch &s) {
    const Centre centre = centreOfWindow(window, size, s.decimated);
    // A sum that overflowed or met NaN or infinity leaves every centred sample
    // non-finite, so nothing could be marked: no pitch either way.
    if (!std::isfinite(centre.mean))
        return 0.0;
    Extrema ex{s.minima, s.maxima, 0, 0};
    const double *samples = window;
    double previousMode = kNoMode;
    for (int level = 0, n = size; level < kLevels; ++level, n /= 2) {
        const int delta = spacingAt(level);
        if (n < 2)
            return 0.0;
        markExtrema(samples, n, centre, delta, s.capacity, ex);
        if (ex.minCount == 0 && ex.maxCount == 0)
            return 0.0;
        const double mode = levelMode(s, ex, n, size, delta);
        if (previousMode > kNoMode && mode != kNoMode &&
            std::fabs(2.0 * mode - previousMode) <= static_cast<double>(2 * delta))
            return kSampleRate / (_2power(level - 1) * previousMode);
        previousMode = mode;
        if (level + 1 == kLevels)
            return 0.0;
        if (level > 0)
            decimate(samples, n, s.decimated);
        samples = s.decimated;
    }
    return 0.0;
}

double estimateOnStack(const double *window, int size) {
    double decimated[kStackWindow / 2];
    int histogram[kStackWindow];
    int minima[kStackWindow / 2];
    int maxima[kStackWindow / 2];
    const Scratch s{decimated, histogram, minima, maxima, size / 2};
    return estimate(window, size, s);
}

// One block holds all four arrays; a failed allocation means no pitch.
double estimateOnHeap(const double *window, int size) {
    const std::size_t half = static_cast<std::size_t>(size) / 2;
    void *block = std::malloc(half * sizeof(double) + 2 * half * sizeof(int) +
                              static_cast<std::size_t>(size) * sizeof(int));
    if (block == nullptr)
        return 0.0;
    double *decimated = static_cast<double *>(block);
    int *histogram = reinterpret_cast<int *>(decimated + half);
    int *minima = histogram + size;
    const Scratch s{decimated, histogram, minima, minima + half, size / 2};
    const double pitch = estimate(window, size, s);
    std::free(block);
    return pitch;
}

} // namespace

Centre centreOfWindow(const double *samples, int count, double *halved) {
    // The running extremes start at 0.0, so the maximum is never below 0 and
    // the minimum never above it. The sum must run in sample order to give
    // the plain result, so the loop waits on each addition; the first
    // decimation fits into that wait.
    double sum = 0.0, maximum = 0.0, minimum = 0.0;
    for (int i = 0; i + 1 < count; i += 2) {
        const double a = samples[i], b = samples[i + 1];
        sum += a;
        sum += b;
        maximum = a > maximum ? a : maximum;
        maximum = b > maximum ? b : maximum;
        minimum = a < minimum ? a : minimum;
        minimum = b < minimum ? b : minimum;
        halved[i / 2] = (a + b) / 2.0;
    }
    if (count % 2 != 0) {
        const double v = samples[count - 1];
        sum += v;
        maximum = v > maximum ? v : maximum;
        minimum = v < minimum ? v : minimum;
    }
    const double mean = sum / count;
    maximum -= mean;
    minimum -= mean;
    const double amplitude = maximum > -minimum ? maximum : -minimum;
    return Centre{mean, amplitude * kThresholdRatio};
}

namespace {

// The tests of the marking rules at sample j, written once for plain doubles
// and once for pairs of samples in SSE2 registers (every x86-64 processor has
// them). p2, p1 and c0 are the centred samples j - 2, j - 1 and j, so p1 - p2
// is the previous difference and c0 - p1 the current one. Both forms perform
// the same IEEE operations on the same values, so they agree bit for bit.
struct Scalar {
    using V = double;
    using M = bool;
    static V splat(double x) { return x; }
    static V sub(V a, V b) { return a - b; }
    static V abs(V a) { return std::fabs(a); }
    static M lt(V a, V b) { return a < b; }
    static M le(V a, V b) { return a <= b; }
    static M gt(V a, V b) { return a > b; }
    static M ge(V a, V b) { return a >= b; }
    static M both(M a, M b) { return a & b; }
    static M either(M a, M b) { return a | b; }
};

#if defined(__SSE2__)
struct Sse2 {
    using V = __m128d;
    using M = __m128d;
    static V splat(double x) { return _mm_set1_pd(x); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V abs(V a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static M lt(V a, V b) { return _mm_cmplt_pd(a, b); }
    static M le(V a, V b) { return _mm_cmple_pd(a, b); }
    static M gt(V a, V b) { return _mm_cmpgt_pd(a, b); }
    static M ge(V a, V b) { return _mm_cmpge_pd(a, b); }
    static M both(M a, M b) { return _mm_and_pd(a, b); }
    static M either(M a, M b) { return _mm_or_pd(a, b); }
};
#endif

// What can change the scan's state, given which kinds are armed.
enum class Watch {
    Crossing, // nothing armed: a crossing of the mean either way
    MaxArmed, // a downward crossing, or a peak
    MinArmed, // an upward crossing, or a trough
    Turn,     // both armed (the signal wavered across the mean): a peak or trough
};

template <class A, Watch W>
typename A::M mayChange(typename A::V p2, typename A::V p1, typename A::V c0,
                        typename A::V threshold) {
    const typename A::V zero = A::splat(0.0);
    const typename A::V previousDiff = A::sub(p1, p2), diff = A::sub(c0, p1);
    const typename A::M up = A::both(A::le(p1, zero), A::gt(c0, zero));
    const typename A::M down = A::both(A::ge(p1, zero), A::lt(c0, zero));
    const typename A::M big = A::ge(A::abs(c0), threshold);
    const typename A::M peak =
        A::both(A::both(A::gt(previousDiff, zero), A::le(diff, zero)), big);
    const typename A::M trough =
        A::both(A::both(A::lt(previousDiff, zero), A::gt(previousDiff, A::splat(-1000.0))),
                A::both(A::ge(diff, zero), big));
    if (W == Watch::Crossing)
        return A::either(up, down);
    if (W == Watch::MaxArmed)
        return A::either(down, peak);
    if (W == Watch::MinArmed)
        return A::either(up, trough);
    return A::either(peak, trough);
}

// One scan over a level. Most samples cannot change anything: until the
// signal crosses the mean nothing is armed, and while one kind is armed only
// a crossing the other way or a turning point of that kind matters. skip()
// runs through such stretches testing only those events, four samples at a
// time, and step() applies the full rules at each event with exactly the
// state that a sample-by-sample scan would have there. That state is rebuilt
// from the samples: the previous centred sample and the previous difference.
struct ExtremaScan {
    const double *samples;
    Centre centre;
    int delta, capacity;
    Extrema &ex;
    bool maxArmed = false, minArmed = false;
    double previousDiff = -1000.0; // nothing is marked until a real difference is known
    double before = 0.0;           // the centred sample before the current one
    int lastMax = -1000000, lastMin = -1000000;

    double centred(int i) const { return samples[i] - centre.mean; }

    void step(int i) {
        const double here = centred(i);
        if (before <= 0.0 && here > 0.0)
            maxArmed = true;
        if (before >= 0.0 && here < 0.0)
            minArmed = true;
        const double diff = here - before;
        if (previousDiff > -1000.0) {
            if (minArmed && previousDiff < 0.0 && diff >= 0.0 &&
                std::fabs(here) >= centre.threshold && i > lastMin + delta &&
                ex.minCount < capacity) {
                ex.minima[ex.minCount++] = i;
                lastMin = i;
                minArmed = false;
            }
            if (maxArmed && previousDiff > 0.0 && diff <= 0.0 &&
                std::fabs(here) >= centre.threshold && i > lastMax + delta &&
                ex.maxCount < capacity) {
                ex.maxima[ex.maxCount++] = i;
                lastMax = i;
                maxArmed = false;
            }
        }
        previousDiff = diff;
        before = here;
    }

    // The first sample from i on (i >= 3) at which W's events may change the
    // state, or n; sets before and previousDiff for it.
    template <Watch W> int skip(int i, int n) {
#if defined(__SSE2__)
        const __m128d mean = _mm_set1_pd(centre.mean), threshold = _mm_set1_pd(centre.threshold);
        // Four samples per round, in two pairs, with one branch.
        __m128d older = _mm_sub_pd(_mm_loadu_pd(samples + i - 2), mean);
        for (; i + 3 < n; i += 4) {
            const __m128d first = _mm_sub_pd(_mm_loadu_pd(samples + i), mean);
            const __m128d second = _mm_sub_pd(_mm_loadu_pd(samples + i + 2), mean);
            const __m128d m1 = mayChange<Sse2, W>(older, _mm_shuffle_pd(older, first, 1), first,
                                                  threshold);
            const __m128d m2 = mayChange<Sse2, W>(first, _mm_shuffle_pd(first, second, 1), second,
                                                  threshold);
            const int lanes = _mm_movemask_pd(m1) | _mm_movemask_pd(m2) << 2;
            if (lanes != 0) {
                i += __builtin_ctz(static_cast<unsigned>(lanes));
                break;
            }
            older = second;
        }
#endif
        for (; i < n; ++i) {
            if (mayChange<Scalar, W>(centred(i - 2), centred(i - 1), centred(i), centre.threshold))
                break;
        }
        if (i < n) {
            before = centred(i - 1);
            previousDiff = before - centred(i - 2);
        }
        return i;
    }

    void run(int n) {
        before = centred(1);
        step(2);
        for (int i = 3; i < n;) {
            if (!maxArmed && !minArmed)
                i = skip<Watch::Crossing>(i, n);
            else if (!minArmed)
                i = skip<Watch::MaxArmed>(i, n);
            else if (!maxArmed)
                i = skip<Watch::MinArmed>(i, n);
            else
                i = skip<Watch::Turn>(i, n);
            if (i < n)
                step(i++);
        }
    }
};

} // namespace

void markExtrema(const double *samples, int n, Centre centre, int delta, int capacity,
                 Extrema &ex) {
    ex.minCount = ex.maxCount = 0;
    if (n < 3)
        return;
    ExtremaScan scan{samples, centre, delta, capacity, ex};
    scan.run(n);
}

namespace {

// Positions ascend, so the nearest successor gives the shortest distance and
// the second successor the longest.
void widenRange(const int *positions, int count, DistanceRange &range) {
    for (int j = 0; j + 1 < count; ++j) {
        const int near = positions[j + 1] - positions[j];
        const int far = j + 2 < count ? positions[j + 2] - positions[j] : near;
        if (near < range.lo)
            range.lo = near;
        if (far > range.hi)
            range.hi = far;
    }
}

void countFrom(const int *positions, int count, int *histogram) {
    for (int j = 0; j < count; ++j) {
        for (int k = 1; k <= 2 && j + k < count; ++k)
            ++histogram[_iabs(positions[j] - positions[j + k])];
    }
}

int clampedSum(const int *histogram, int n, int from, int to) {
    int sum = 0;
    for (int j = from < 0 ? 0 : from; j <= to && j < n; ++j)
        sum += histogram[j];
    return sum;
}

} // namespace

DistanceRange rangeOfDistances(const Extrema &ex) {
    DistanceRange range{1 << 30, -1};
    widenRange(ex.minima, ex.minCount, range);
    widenRange(ex.maxima, ex.maxCount, range);
    return range;
}

void countDistances(const Extrema &ex, int *histogram) {
    // Minima first, then maxima; a minimum is never paired with a maximum.
    countFrom(ex.minima, ex.minCount, histogram);
    countFrom(ex.maxima, ex.maxCount, histogram);
}

int bestDistance(const int *histogram, int n, int delta, DistanceRange range) {
    // Below range.lo - delta every window sum is 0: distance 0 takes the lead
    // with it and no later zero can displace it (only 0 is twice 0). Beyond
    // range.hi + delta the sums are 0 again and lose to the best, which is
    // positive by then.
    int first = range.lo - delta > 0 ? range.lo - delta : 0;
    const int last = range.hi + delta < n - 1 ? range.hi + delta : n - 1;
    int bestValue = first > 0 ? 0 : -1;
    int best = first > 0 ? 0 : -1;
    int sum = clampedSum(histogram, n, first - delta, first + delta);
    for (int i = first; i <= last; ++i) {
        if (i > first) {
            if (i + delta < n)
                sum += histogram[i + delta];
            if (i - delta - 1 >= 0)
                sum -= histogram[i - delta - 1];
        }
        if (sum == bestValue) {
            if (i == 2 * best)
                best = i;
        } else if (sum > bestValue) {
            bestValue = sum;
            best = i;
        }
    }
    return best;
}

double modeAround(const int *histogram, int size, int best, int delta) {
    double weighted = 0.0;
    long long weight = 0;
    for (int d = best - delta; d <= best + delta; ++d) {
        if (d < 0 || d >= size || histogram[d] <= 0)
            continue;
        // Formed in 64 bits: the product of a long distance and its count can
        // exceed an int in a very long window.
        weighted += static_cast<double>(static_cast<long long>(d) * histogram[d]);
        weight += histogram[d];
    }
    return weight > 0 ? weighted / static_cast<double>(weight) : kNoMode;
}

void decimate(const double *from, int n, double *samples) {
    int i = 0;
#if defined(__SSE2__)
    // Two outputs from four inputs, all read before either is written, so
    // working in place is safe.
    const __m128d half = _mm_set1_pd(2.0);
    for (; i + 1 < n / 2; i += 2) {
        const __m128d a = _mm_loadu_pd(from + 2 * i), b = _mm_loadu_pd(from + 2 * i + 2);
        const __m128d sums = _mm_add_pd(_mm_unpacklo_pd(a, b), _mm_unpackhi_pd(a, b));
        _mm_storeu_pd(samples + i, _mm_div_pd(sums, half));
    }
#endif
    for (; i < n / 2; ++i)
        samples[i] = (from[2 * i] + from[2 * i + 1]) / 2.0;
}

} // namespace wavepitch

extern "C" double _dywapitch_computeWaveletPitch(const double *samples, int startsample,
                                                 int samplecount) {
    if (samples == nullptr || startsample < 0 || samplecount < 1)
        return 0.0;
    const int size = _floor_power2(samplecount);
    // Below 4 samples no level holds a sample to examine: the scan starts at 2.
    if (size < 4)
        return 0.0;
    const double *window = samples + startsample;
    return size <= wavepitch::kStackWindow ? wavepitch::estimateOnStack(window, size)
                                           : wavepitch::estimateOnHeap(window, size);
}
