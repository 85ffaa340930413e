/* Tracks a synthetic tone with the wavepitch library and prints the pitch of
 * each 512-sample window. Exits 0 when the tone is found within 20 cents. */
#include <math.h>
#include <stdio.h>
#include <wavepitch.h>

#define RATE 44100
#define WINDOW 512
#define WINDOWS 16

int main(int argc, char **argv) {
    static double samples[WINDOW * WINDOWS];
    double hz = 261.63, pitch = 0.0, cents;
    _dywapitchtracker tracker;
    int i;

    if (argc > 1 && sscanf(argv[1], "%lf", &hz) != 1) {
        fprintf(stderr, "usage: %s [frequency in Hz]\n", argv[0]);
        return 2;
    }
    for (i = 0; i < WINDOW * WINDOWS; ++i)
        samples[i] = 0.5 * sin(2.0 * 3.14159265358979323846 * hz * i / RATE);

    dywapitch_inittracking(&tracker);
    for (i = 0; i < WINDOWS; ++i) {
        pitch = dywapitch_computepitch(&tracker, samples, i * WINDOW, WINDOW);
        printf("%.4f %.2f\n", (double)(i * WINDOW) / RATE, pitch);
    }
    cents = pitch > 0.0 ? 1200.0 * log2(pitch / hz) : 1e9;
    return fabs(cents) < 20.0 ? 0 : 1;
}
