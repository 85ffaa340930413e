/*
 * Internal interface of the pitch tracker: the two stages that
 * dywapitch_computepitch chains, and the integer helpers of the estimator.
 *
 * No compatibility promise: this header is not installed. The game's audio
 * callback uses the two stages directly so that it can estimate a block once
 * and run the tracking stage at every frame.
 */
#ifndef WAVEPITCH_DYWAPITCH_INTERNAL_H
#define WAVEPITCH_DYWAPITCH_INTERNAL_H

#include "wavepitch.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Estimator: the pitch in Hz of samples[startsample .. startsample + N), where
 * N is samplecount floored to a power of two, or 0.0 for none (also for fewer
 * than four samples and for a window holding NaN or infinity). Pure. */
double _dywapitch_computeWaveletPitch(const double *samples, int startsample, int samplecount);

/* 1 when dywapitch_computepitch runs the two stages on this input; 0 when it
 * refuses the call and returns 0.0 with the record untouched (a null sample
 * pointer, a negative start or a negative count). Short and non-finite
 * windows are valid input: the estimator gives them 0.0. Lets a caller that
 * estimates once per block and tracks at every frame reproduce
 * dywapitch_computepitch exactly. */
int _dywapitch_inputisvalid(const double *samples, int startsample, int samplecount);

/* Tracking stage: folds one estimate (0.0 for none) into the record and
 * returns the tracked pitch (0.0 for none). */
double _dywapitch_dynamicprocess(_dywapitchtracker *pitchtracker, double pitch);

int _power2p(int value);
int _bitcount(int value);
int _ceil_power2(int value);
int _floor_power2(int value);
int _iabs(int value);
int _2power(int i);

#ifdef __cplusplus
}
#endif

#endif /* WAVEPITCH_DYWAPITCH_INTERNAL_H */
