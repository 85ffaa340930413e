// Marking the extrema of one level of the wavelet estimator.
//
// The rules are those of a plain scan, sample by sample: a crossing of the
// mean arms the kind it heads for, and an armed kind is marked at the sample
// after its turning point when that sample lies far enough from the mean and
// far enough from the previous mark. The scan below gives the same marks
// while applying the full rules only where the state can change.

#include "wavelet_levels.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wavepitch {
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
    const typename A::M peak = A::both(A::both(A::gt(previousDiff, zero), A::le(diff, zero)), big);
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
            const __m128d m1 =
                mayChange<Sse2, W>(older, _mm_shuffle_pd(older, first, 1), first, threshold);
            const __m128d m2 =
                mayChange<Sse2, W>(first, _mm_shuffle_pd(first, second, 1), second, threshold);
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

} // namespace wavepitch
