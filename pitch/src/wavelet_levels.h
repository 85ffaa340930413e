// The stages of one level of the wavelet estimator, exposed inside the module
// so that the tests can check each rule on inputs crafted for it.
#ifndef WAVEPITCH_WAVELET_LEVELS_H
#define WAVEPITCH_WAVELET_LEVELS_H

namespace wavepitch {

// Mean and amplitude threshold of the undecimated window; every level
// measures its samples against these.
struct Centre {
    double mean;
    double threshold;
};

// Also writes the first decimation of the window, count / 2 samples, to halved.
Centre centreOfWindow(const double *samples, int count, double *halved);

// Positions (indices into the level) of the marked minima and maxima.
struct Extrema {
    int *minima;
    int *maxima;
    int minCount;
    int maxCount;
};

// Marks the extrema of samples[0, n) into ex, at most capacity of each kind.
// An extremum needs a fresh crossing of the mean in its direction, a turning
// point, at least threshold of distance from the mean, and more than delta
// samples since the previous one of its kind.
void markExtrema(const double *samples, int n, Centre centre, int delta, int capacity, Extrema &ex);

// Whether markExtrema may use the processor's wider vectors (AVX2) where it
// has them; when not, it uses the SSE2 that every x86-64 processor has. Both
// give the same marks; the tests check each.
void allowWideMasks(bool allowed);

// Smallest and largest distance between an extremum and its next two
// successors of the same kind; lo > hi when no pair exists.
struct DistanceRange {
    int lo;
    int hi;
};

DistanceRange rangeOfDistances(const Extrema &ex);

// Adds 1 to histogram[d] for every such distance d.
void countDistances(const Extrema &ex, int *histogram);

// The distance in [0, n) whose sum of counters within +-delta is largest; the
// first one wins, except that an equal sum at exactly twice the current best
// takes its place. histogram must be zero outside [range.lo, range.hi] (a
// non-empty range) from range.lo - 2 * delta to range.hi + 2 * delta.
int bestDistance(const int *histogram, int n, int delta, DistanceRange range);

// Weighted mean of the distances within +-delta of best (inside [0, size))
// whose counters are positive, or -1.0 when there are none.
double modeAround(const int *histogram, int size, int best, int delta);

// samples[i] = (from[2i] + from[2i + 1]) / 2 for i in [0, n / 2); from may be
// samples itself.
void decimate(const double *from, int n, double *samples);

} // namespace wavepitch

#endif // WAVEPITCH_WAVELET_LEVELS_H
