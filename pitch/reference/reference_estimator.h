// The reference implementation of the wavelet estimator, written for
// clarity rather than speed: full copies, the whole histogram cleared at every
// level, the mode search summing its window afresh at every distance. The
// module's estimator must match it bit for bit.
#ifndef ARROWSONG_PITCH_REFERENCE_ESTIMATOR_H
#define ARROWSONG_PITCH_REFERENCE_ESTIMATOR_H

namespace reference {

double waveletPitch(const double *samples, int startsample, int samplecount);

// The extrema of one level of n samples, marked sample by sample as the
// plain algorithm states the rules; mins and maxs need room for n entries.
void markExtrema(const double *sam, int n, double mean, double threshold, int delta, int *mins,
                 int &nMins, int *maxs, int &nMaxs);

// The mode search of one level over histogram[0, n).
int bestDistance(const int *histogram, int n, int delta);

} // namespace reference

#endif
