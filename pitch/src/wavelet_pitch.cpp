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
// caller's samples without a copy, and the extremes and the first decimation
// are made while the samples are summed; the extrema scan works on bit masks
// of many samples at once and jumps from event to event; the histogram is
// cleared and searched only where distances were counted, and the mode
// search goes from one change of its window sum to the next.

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
// Halving by multiplication: x * 0.5 and x / 2.0 are the same exact value
// rounded once, so they agree bit for bit (subnormal results included),
// and a multiplication costs far less than a division.
constexpr double kHalf = 0.5;
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
    // the plain result, so the loop waits on each addition; the extremes and
    // the first decimation fit into that wait.
    double sum = 0.0, maximum = 0.0, minimum = 0.0;
    int i = 0;
#if defined(__SSE2__)
    // The extremes per lane, with the plain tests (x > max ? x : max), then
    // the two lanes' results against each other: the maximum of a set does
    // not depend on the order, and as values only replace smaller ones, a
    // -0.0 never displaces the starting 0.0.
    __m128d highest = _mm_setzero_pd(), lowest = _mm_setzero_pd();
    const __m128d half = _mm_set1_pd(kHalf);
    for (; i + 3 < count; i += 4) {
        const __m128d v0 = _mm_loadu_pd(samples + i), v1 = _mm_loadu_pd(samples + i + 2);
        sum += samples[i];
        sum += samples[i + 1];
        sum += samples[i + 2];
        sum += samples[i + 3];
        highest = _mm_max_pd(_mm_max_pd(v0, highest), _mm_max_pd(v1, highest));
        lowest = _mm_min_pd(_mm_min_pd(v0, lowest), _mm_min_pd(v1, lowest));
        const __m128d pairs = _mm_add_pd(_mm_unpacklo_pd(v0, v1), _mm_unpackhi_pd(v0, v1));
        _mm_storeu_pd(halved + i / 2, _mm_mul_pd(pairs, half));
    }
    const double highs[2] = {_mm_cvtsd_f64(highest),
                             _mm_cvtsd_f64(_mm_unpackhi_pd(highest, highest))};
    const double lows[2] = {_mm_cvtsd_f64(lowest), _mm_cvtsd_f64(_mm_unpackhi_pd(lowest, lowest))};
    for (double v : highs)
        maximum = v > maximum ? v : maximum;
    for (double v : lows)
        minimum = v < minimum ? v : minimum;
#endif
    for (; i + 1 < count; i += 2) {
        const double a = samples[i], b = samples[i + 1];
        sum += a;
        sum += b;
        maximum = a > maximum ? a : maximum;
        maximum = b > maximum ? b : maximum;
        minimum = a < minimum ? a : minimum;
        minimum = b < minimum ? b : minimum;
        halved[i / 2] = (a + b) * kHalf;
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

// Positions ascend, so the nearest successor gives the shortest distance and
// the second successor the longest.
void widenRange(const int *positions, int count, DistanceRange &range) {
    int lo = range.lo, hi = range.hi;
    for (int j = 0; j + 1 < count; ++j) {
        const int near = positions[j + 1] - positions[j];
        const int far = j + 2 < count ? positions[j + 2] - positions[j] : near;
        lo = near < lo ? near : lo;
        hi = far > hi ? far : hi;
    }
    range = DistanceRange{lo, hi};
}

// Each position with its next two successors, whose distances are positive.
void countFrom(const int *positions, int count, int *histogram) {
    int j = 0;
    for (; j + 2 < count; ++j) {
        ++histogram[positions[j + 1] - positions[j]];
        ++histogram[positions[j + 2] - positions[j]];
    }
    if (j + 1 < count)
        ++histogram[positions[j + 1] - positions[j]];
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

namespace {

// The search over every distance, with a running window sum.
int bestDistanceByScan(const int *histogram, int n, int delta, DistanceRange range) {
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

// Distances of histogram[lo, hi] whose counters are not 0, ascending, at most
// capacity of them; -1 when there are more.
// For each set of four lanes (bit k for lane k): how many, and which, in order.
constexpr unsigned char kFound[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
constexpr unsigned char kLanes[16][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0},
                                         {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
                                         {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0},
                                         {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};

int nonzeroDistances(const int *histogram, int lo, int hi, int *out, int capacity) {
    int count = 0;
    int d = lo;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; d + 3 <= hi; d += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(histogram + d));
        const unsigned found =
            ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, zero)))) &
            0xfu;
        // All four slots are written and count advances past the found ones
        // only: no branch on where the counters lie.
        if (count + 4 > capacity)
            return -1;
        for (int k = 0; k < 4; ++k)
            out[count + k] = d + kLanes[found][k];
        count += kFound[found];
    }
#endif
    for (; d <= hi; ++d) {
        if (histogram[d] == 0)
            continue;
        if (count == capacity)
            return -1;
        out[count++] = d;
    }
    return count;
}

} // namespace

int bestDistance(const int *histogram, int n, int delta, DistanceRange range) {
    // The window sum changes only where a counted distance enters the window
    // (at d - delta, or 0) or leaves it (at d + delta + 1), so the search
    // goes from one such change to the next. Within a stretch of one sum s,
    // only its first distance can take the lead (when s beats the best), and
    // then, while s equals the best value, the distance twice the best as
    // long as it lies in the stretch.
    constexpr int kCapacity = 256;
    int distances[kCapacity];
    const int count = nonzeroDistances(histogram, range.lo, range.hi, distances, kCapacity);
    if (count < 0)
        return bestDistanceByScan(histogram, n, delta, range);
    const auto entersAt = [&](int j) {
        return distances[j] - delta > 0 ? distances[j] - delta : 0;
    };
    const auto leavesAt = [&](int j) { return distances[j] + delta + 1; };
    int bestValue = -1, best = -1, sum = 0;
    int entered = 0, left = 0;
    for (int a = 0; a < n;) {
        for (; entered < count && entersAt(entered) == a; ++entered)
            sum += histogram[distances[entered]];
        for (; left < count && leavesAt(left) == a; ++left)
            sum -= histogram[distances[left]];
        int next = n;
        if (entered < count && entersAt(entered) < next)
            next = entersAt(entered);
        if (left < count && leavesAt(left) < next)
            next = leavesAt(left);
        // The stretch [a, next - 1] of sum.
        if (sum > bestValue) {
            bestValue = sum;
            best = a;
        } else if (sum == bestValue && a == 2 * best) {
            best = a;
        }
        if (sum == bestValue) {
            for (int at = a; best <= (next - 1) / 2 && 2 * best > at;)
                at = best = 2 * best;
        }
        a = next;
    }
    return best;
}

double modeAround(const int *histogram, int size, int best, int delta) {
    double weighted = 0.0;
    long long weight = 0;
    const int from = best - delta > 0 ? best - delta : 0;
    const int to = best + delta < size - 1 ? best + delta : size - 1;
    for (int d = from; d <= to; ++d) {
        // A counter that is not positive adds nothing: 0 to the weight, and
        // +0.0 to a sum that is itself +0.0 or positive, which leaves it as
        // it is. Formed in 64 bits: the product of a long distance and its
        // count can exceed an int in a very long window.
        const long long count = histogram[d] > 0 ? histogram[d] : 0;
        weighted += static_cast<double>(d * count);
        weight += count;
    }
    return weight > 0 ? weighted / static_cast<double>(weight) : kNoMode;
}

void decimate(const double *from, int n, double *samples) {
    int i = 0;
#if defined(__SSE2__)
    // Two outputs from four inputs, all read before either is written, so
    // working in place is safe.
    const __m128d half = _mm_set1_pd(kHalf);
    for (; i + 1 < n / 2; i += 2) {
        const __m128d a = _mm_loadu_pd(from + 2 * i), b = _mm_loadu_pd(from + 2 * i + 2);
        const __m128d sums = _mm_add_pd(_mm_unpacklo_pd(a, b), _mm_unpackhi_pd(a, b));
        _mm_storeu_pd(samples + i, _mm_mul_pd(sums, half));
    }
#endif
    for (; i < n / 2; ++i)
        samples[i] = (from[2 * i] + from[2 * i + 1]) * kHalf;
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
