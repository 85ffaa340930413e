// A plain, literal transcription of the wavelet estimator: full copies, the
// whole histogram cleared at every level, the mode search summing its window
// afresh at every distance. The module's estimator must match it bit for bit.
#ifndef ARROWSONG_PITCH_REFERENCE_ESTIMATOR_H
#define ARROWSONG_PITCH_REFERENCE_ESTIMATOR_H

namespace reference {

double waveletPitch(const double *samples, int startsample, int samplecount);

// The mode search of one level over histogram[0, n).
int bestDistance(const int *histogram, int n, int delta);

} // namespace reference

#endif
