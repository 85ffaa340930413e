/*
 * wavepitch: a wavelet pitch tracker for mono 64-bit float samples at 44100 Hz.
 *
 * The tracker finds the fundamental of one window of samples and steadies the
 * estimates of successive windows against a short history kept in a record
 * that the caller owns. Usable from C and C++. All calls are real-time safe
 * for windows of up to 4096 samples: they take no lock and allocate nothing.
 */
#ifndef WAVEPITCH_H
#define WAVEPITCH_H

#ifdef __cplusplus
extern "C" {
#endif

/* The tracking history. Owned by the caller; initialise it with
 * dywapitch_inittracking before its first use. One thread at a time. */
typedef struct _dywapitchtracker {
    double _lastPitch; /* last accepted pitch in Hz; -1.0 means none */
    int _confidence;   /* -1 after initialisation, then 0 to 5 */
} _dywapitchtracker;

/* The number of samples (a power of two) that holds three periods of the
 * lowest frequency to detect, in Hz. Returns 0 when that frequency is 0 or
 * below, where no window is long enough, and above 132300 Hz, where three
 * periods are shorter than one sample. */
int dywapitch_neededsamplecount(int minFreq);

/* Resets the history: no last pitch, confidence -1. A null record is ignored. */
void dywapitch_inittracking(_dywapitchtracker *pitchtracker);

/* The tracked pitch in Hz of samples[startsample ...], using the largest power
 * of two at or below samplecount, or 0.0 for no pitch. A window with no pitch
 * in it (silence, fewer than four samples, a count of 0, or any NaN or
 * infinite sample) is a gap: while the record trusts its last pitch, that
 * pitch is returned and the trust falls by one. A call outside the domain (a
 * null record or sample pointer, a negative start or count) returns 0.0 and
 * leaves the record as it was. */
double dywapitch_computepitch(_dywapitchtracker *pitchtracker, const double *samples,
                              int startsample, int samplecount);

#ifdef __cplusplus
}
#endif

#endif /* WAVEPITCH_H */
