/* Compiled as C: the public header and its three functions from plain C. */
#include <wavepitch.h>

double c_caller_track(const double *samples, int count, int windows);

double c_caller_track(const double *samples, int count, int windows) {
    _dywapitchtracker tracker;
    double pitch = 0.0;
    int w;
    int size = count / windows;
    if (dywapitch_neededsamplecount(130) != 1024)
        return -1.0;
    dywapitch_inittracking(&tracker);
    for (w = 0; w < windows; ++w)
        pitch = dywapitch_computepitch(&tracker, samples, w * size, size);
    return pitch;
}
