// Numeric members of XFun: random numbers, note numbers, mapping, clamping.
#include "util/XFun.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "util/XRandom.h"

namespace {

// The process-wide random(). The goal notes follow from its sequence, so a
// build against another C library than GNU's (the browser's) draws from the
// same generator, written out, instead of its own.
#ifdef __EMSCRIPTEN__
XRandom &processGenerator() {
    static XRandom generator;
    return generator;
}
long processRandom() {
    return processGenerator().next();
}
void processSeed(unsigned int seed) {
    processGenerator().seed(seed);
}
#else
long processRandom() {
    return ::random();
}
void processSeed(unsigned int seed) {
    ::srandom(seed);
}
#endif

// random() yields 0 to 2^31 - 1 inclusive.
constexpr double kRandomMax = 2147483647.0;

// Two's-complement arithmetic on longs without signed overflow: extreme
// bounds wrap instead of invoking undefined behaviour.
long wrappingSub(long a, long b) {
    return static_cast<long>(static_cast<unsigned long>(a) - static_cast<unsigned long>(b));
}

long wrappingAdd(long a, long b) {
    return static_cast<long>(static_cast<unsigned long>(a) + static_cast<unsigned long>(b));
}

// Bounds in either order; comparisons in T's own precision, so a NaN value
// fails both tests and comes back unchanged.
template <class T> T clampBetween(T value, T lo, T hi) {
    if (lo > hi) {
        const T t = lo;
        lo = hi;
        hi = t;
    }
    if (lo > value)
        return lo;
    if (value > hi)
        return hi;
    return value;
}

} // namespace

long XFun::rand2i(long a, long b) {
    // The XOR folding stays: callers rely on the exact ranges it gives (24, 36
    // draws from 36 to 59).
    if (a > b)
        a ^= b;
    b ^= a;
    a ^= b;
    const long span = wrappingSub(b, a);
    if (span == 0)
        return a;
    // The dividend is never negative, so the remainder lies in [0, |span|).
    return wrappingAdd(a, processRandom() % span);
}

double XFun::rand2f(double a, double b) {
    if (a > b) {
        const double t = a;
        a = b;
        b = t;
    }
    const double r = static_cast<double>(processRandom());
    return a + (b - a) * r / kRandomMax;
}

void XFun::srand() {
    const auto now = static_cast<std::uint64_t>(std::time(nullptr));
    processSeed(static_cast<unsigned int>(now & 0xffffffffu));
}

double XFun::freq2midi(double freq) {
    return 12.0 * std::log2(freq / 440.0) + 57.0;
}

double XFun::midi2freq(double midi) {
    return 440.0 * std::pow(2.0, (midi - 57.0) / 12.0);
}

double XFun::map(double value, double inLow, double inHigh, double outLow, double outHigh) {
    return (value - inLow) / (inHigh - inLow) * (outHigh - outLow) + outLow;
}

double XFun::clamp(double value, double lo, double hi) {
    return clampBetween(value, lo, hi);
}

float XFun::clampf(float value, float lo, float hi) {
    return clampBetween(value, lo, hi);
}
