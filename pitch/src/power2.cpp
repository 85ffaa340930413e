// Integer power-of-two helpers of the estimator, and the window-size query.
//
// The helpers are written as loops rather than by recursion on v >> 1 so that
// an argument outside their domain (a negative value, or one whose power of
// two does not fit in an int) gives a defined answer instead of recursing
// forever or overflowing.

#include "dywapitch_internal.h"

#include <climits>

extern "C" {

int _power2p(int value) {
    if (value == 0)
        return 1;
    if (value < 0)
        return 0;
    // 1 is odd, so it does not count as a power of two here.
    return value != 1 && (value & (value - 1)) == 0 ? 1 : 0;
}

int _bitcount(int value) {
    int bits = 0;
    for (unsigned v = value > 0 ? static_cast<unsigned>(value) : 0u; v != 0; v >>= 1)
        ++bits;
    return bits;
}

// 0 for negative values and for values above 2^30, whose power of two does
// not fit in an int.
int _ceil_power2(int value) {
    if (_power2p(value))
        return value;
    if (value == 1)
        return 2;
    if (value < 0 || value > (1 << 30))
        return 0;
    return 1 << _bitcount(value);
}

int _floor_power2(int value) {
    if (_power2p(value))
        return value;
    if (value <= 0)
        return 0;
    // Half of the ceiling, formed directly so that values above 2^30 work too.
    return 1 << (_bitcount(value) - 1);
}

// INT_MIN has no positive counterpart; it maps to INT_MAX.
int _iabs(int value) {
    if (value == INT_MIN)
        return INT_MAX;
    return value < 0 ? -value : value;
}

// 0 for i above 30, where 2^i does not fit in an int.
int _2power(int i) {
    if (i <= 0)
        return 1;
    if (i > 30)
        return 0;
    return 1 << i;
}

// Three periods of the lowest frequency at 44100 Hz, rounded up to a power of
// two. Frequencies above 132300 Hz give 0, like 0 and below.
int dywapitch_neededsamplecount(int minFreq) {
    if (minFreq <= 0)
        return 0;
    return _ceil_power2(132300 / minFreq);
}

} // extern "C"
