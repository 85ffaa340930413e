// Marking the extrema of one level of the wavelet estimator.
//
// The rules are those of a plain scan, sample by sample: a crossing of the
// mean arms the kind it heads for, and an armed kind is marked at the sample
// after its turning point when that sample lies far enough from the mean and
// far enough from the previous mark. The two kinds never meet: a maximum is
// armed only by upward crossings and disarmed only by its own marks, and a
// minimum likewise. So each kind is a chain of its own: the next upward
// crossing, then the first peak from there that is far enough from the
// previous mark and from the mean, then the next crossing after that peak,
// and so on.
//
// The scan below finds those events through bit masks, 64 samples at a time:
// for each sample, whether it lies above or below the mean, whether it rose
// or fell from the sample before, and whether it lies at least the threshold
// away from the mean. Those tests are made on two samples at a time with
// SSE2, or four with AVX2 where the processor has it, and need no branch; the
// chains then jump from event to event by counting bits. Only the rare
// trough after a fall steeper than -1000 is looked at one sample at a time.
//
// The masks give the plain rules exactly as long as no centred sample is NaN
// or infinite: then c(i - 1) <= 0 is !(c(i - 1) > 0), and the sign of the
// rounded difference c(i) - c(i - 1) is that of the comparison of c(i) with
// c(i - 1) (a difference of two finite doubles is zero only when they are
// equal, thanks to gradual underflow, and keeps its sign when it overflows).
// A level where that fails (samples so large that they overflow once
// centred or averaged) takes the plain scan.

#include "wavelet_levels.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define WAVEPITCH_AVX2 1
#endif

namespace wavepitch {
namespace {

using Bits = std::uint64_t;
constexpr int kChunk = 64;

// The tests for samples base .. base + length - 1 (length <= 64), bit k
// for sample base + k. rising and falling compare with the sample before, so
// bit 0 of a chunk at base 0 means nothing; the caller masks it.
struct ChunkMasks {
    Bits above = 0, below = 0, rising = 0, falling = 0;
    Bits far = 0;       // at least the threshold away from the mean
    bool finite = true; // every centred sample of the chunk
};

// The tests for sample base + k alone.
void maskOne(ChunkMasks &m, const double *samples, int base, int k, Centre centre) {
    const double mean = centre.mean;
    const int i = base + k;
    const double c = samples[i] - mean;
    const double p = i > 0 ? samples[i - 1] - mean : c;
    const Bits bit = Bits{1} << k;
    m.finite = m.finite && std::isfinite(c);
    m.above |= c > 0.0 ? bit : 0;
    m.below |= c < 0.0 ? bit : 0;
    m.rising |= c > p ? bit : 0;
    m.falling |= c < p ? bit : 0;
    m.far |= std::fabs(c) >= centre.threshold ? bit : 0;
}

ChunkMasks chunkMasks(const double *samples, int base, int length, Centre centre) {
    const double mean = centre.mean;
    ChunkMasks m;
    int k = 0;
#if defined(__SSE2__)
    const __m128d middle = _mm_set1_pd(mean), zero = _mm_setzero_pd();
    const __m128d threshold = _mm_set1_pd(centre.threshold), sign = _mm_set1_pd(-0.0);
    __m128d nonFinite = zero;
    // (c(i - 2), c(i - 1)) for the first group; at base 0 a stand-in.
    __m128d before = base > 0 ? _mm_sub_pd(_mm_loadu_pd(samples + base - 2), middle)
                              : _mm_sub_pd(_mm_loadu_pd(samples), middle);
    for (; k + 4 <= length; k += 4) {
        const double *at = samples + base + k;
        const __m128d c0 = _mm_sub_pd(_mm_loadu_pd(at), middle);
        const __m128d c1 = _mm_sub_pd(_mm_loadu_pd(at + 2), middle);
        const __m128d p0 = _mm_shuffle_pd(before, c0, 1);
        const __m128d p1 = _mm_shuffle_pd(c0, c1, 1);
        // One bit per sample: the high half of each lane's all-ones mask.
        const auto four = [](__m128d a, __m128d b) {
            return static_cast<Bits>(_mm_movemask_ps(
                _mm_shuffle_ps(_mm_castpd_ps(a), _mm_castpd_ps(b), _MM_SHUFFLE(3, 1, 3, 1))));
        };
        m.above |= four(_mm_cmpgt_pd(c0, zero), _mm_cmpgt_pd(c1, zero)) << k;
        m.below |= four(_mm_cmplt_pd(c0, zero), _mm_cmplt_pd(c1, zero)) << k;
        m.rising |= four(_mm_cmpgt_pd(c0, p0), _mm_cmpgt_pd(c1, p1)) << k;
        m.falling |= four(_mm_cmplt_pd(c0, p0), _mm_cmplt_pd(c1, p1)) << k;
        m.far |= four(_mm_cmpge_pd(_mm_andnot_pd(sign, c0), threshold),
                      _mm_cmpge_pd(_mm_andnot_pd(sign, c1), threshold))
                 << k;
        // c - c is +0.0 for a finite c and NaN otherwise.
        nonFinite = _mm_or_pd(nonFinite, _mm_or_pd(_mm_sub_pd(c0, c0), _mm_sub_pd(c1, c1)));
        before = c1;
    }
    m.finite = _mm_movemask_epi8(
                   _mm_cmpeq_epi8(_mm_castpd_si128(nonFinite), _mm_setzero_si128())) == 0xffff;
#endif
    for (; k < length; ++k)
        maskOne(m, samples, base, k, centre);
    return m;
}

// Whether the AVX2 masks are used: -1 to be decided from the processor, else
// 0 or 1.
int wideMasks = -1;

#if defined(WAVEPITCH_AVX2)
// The same tests four samples at a time, on processors that have AVX2 (the
// same IEEE comparisons and subtractions, so the same bits).
__attribute__((target("avx2"))) ChunkMasks chunkMasksAvx2(const double *samples, int base,
                                                          int length, Centre centre) {
    ChunkMasks m;
    const __m256d middle = _mm256_set1_pd(centre.mean), zero = _mm256_setzero_pd();
    const __m256d threshold = _mm256_set1_pd(centre.threshold), sign = _mm256_set1_pd(-0.0);
    __m256d nonFinite = zero;
    for (int k = 0; k + 4 <= length; k += 4) {
        const double *at = samples + base + k;
        const __m256d c = _mm256_sub_pd(_mm256_loadu_pd(at), middle);
        // Sample 0 has none before it: a stand-in, whose bits the caller
        // masks.
        const __m256d p = base + k > 0 ? _mm256_sub_pd(_mm256_loadu_pd(at - 1), middle)
                                       : _mm256_permute4x64_pd(c, _MM_SHUFFLE(2, 1, 0, 0));
        // (A lambda would not inherit this function's target.)
        const Bits above =
            static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(c, zero, _CMP_GT_OQ)));
        const Bits below =
            static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(c, zero, _CMP_LT_OQ)));
        const Bits rising =
            static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(c, p, _CMP_GT_OQ)));
        const Bits falling =
            static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(c, p, _CMP_LT_OQ)));
        m.above |= above << k;
        m.below |= below << k;
        m.rising |= rising << k;
        m.falling |= falling << k;
        const Bits far = static_cast<unsigned>(
            _mm256_movemask_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, c), threshold, _CMP_GE_OQ)));
        m.far |= far << k;
        nonFinite = _mm256_or_pd(nonFinite, _mm256_sub_pd(c, c));
    }
    m.finite = _mm256_movemask_pd(_mm256_cmp_pd(nonFinite, zero, _CMP_NEQ_UQ)) == 0;
    for (int k = length & ~3; k < length; ++k)
        maskOne(m, samples, base, k, centre);
    return m;
}

// Whether the processor and the operating system support AVX2; asked once.
bool haveAvx2() {
    int have = __atomic_load_n(&wideMasks, __ATOMIC_RELAXED);
    if (have >= 0)
        return have != 0;
    unsigned a = 0, b = 0, c = 0, d = 0;
    have = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) && (c & bit_OSXSAVE) && (c & bit_AVX)) {
        unsigned lo = 0, hi = 0;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        // The operating system saves the SSE and AVX registers.
        if ((lo & 6u) == 6u && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2))
            have = 1;
    }
    __atomic_store_n(&wideMasks, have, __ATOMIC_RELAXED);
    return have != 0;
}
#endif

using MaskFunction = ChunkMasks (*)(const double *, int, int, Centre);

MaskFunction maskFunction() {
#if defined(WAVEPITCH_AVX2)
    if (haveAvx2())
        return chunkMasksAvx2;
#endif
    return chunkMasks;
}

// The bits of word from bit k on (none when k is 64 or more).
Bits from(Bits word, int k) {
    return k >= kChunk ? 0 : word & (~Bits{0} << (k < 0 ? 0 : k));
}

int lowestBit(Bits word) {
    return __builtin_ctzll(word);
}

// One kind of extremum: its arming flag, its last mark and its list.
struct Chain {
    int *positions;
    int &count;
    bool armed = false;
    bool full = false;
    int last = -1000000;
};

struct Scan {
    const double *samples;
    Centre centre;
    int delta, capacity;

    // A trough needs a previous difference above -1000 as well (as a peak
    // does, but a positive one always is).
    bool notSteep(int i) const {
        return (samples[i - 1] - centre.mean) - (samples[i - 2] - centre.mean) > -1000.0;
    }

    // Follows one kind through a chunk: arms is its crossings, turns its
    // turning points far enough from the mean (bit k for sample base + k).
    template <bool Trough> void follow(Chain &chain, int base, Bits arms, Bits turns) const {
        int k = 0;
        while (!chain.full) {
            if (!chain.armed) {
                const Bits a = from(arms, k);
                if (a == 0)
                    return;
                k = lowestBit(a);
                chain.armed = true;
            }
            const int spaced = chain.last + delta + 1 - base;
            Bits t = from(turns, spaced > k ? spaced : k);
            if (Trough)
                while (t != 0 && !notSteep(base + lowestBit(t)))
                    t &= t - 1;
            if (t == 0)
                return;
            k = lowestBit(t);
            const int i = base + k;
            if (chain.count >= capacity) {
                chain.full = true;
                return;
            }
            chain.positions[chain.count++] = i;
            chain.last = i;
            chain.armed = false;
            ++k;
        }
    }

    // False, with the lists unfinished, when a centred sample is not finite.
    bool run(int n, Extrema &ex) const {
        Chain maxima{ex.maxima, ex.maxCount};
        Chain minima{ex.minima, ex.minCount};
        Bits aboveCarry = 0, belowCarry = 0, risingCarry = 0, fallingCarry = 0;
        const MaskFunction masksOf = maskFunction();
        for (int base = 0; base < n; base += kChunk) {
            const int length = n - base < kChunk ? n - base : kChunk;
            const ChunkMasks m = masksOf(samples, base, length, centre);
            if (!m.finite)
                return false;
            // The same tests for the sample before each one.
            const Bits abovePrev = m.above << 1 | aboveCarry;
            const Bits belowPrev = m.below << 1 | belowCarry;
            const Bits risingPrev = m.rising << 1 | risingCarry;
            const Bits fallingPrev = m.falling << 1 | fallingCarry;
            aboveCarry = m.above >> 63;
            belowCarry = m.below >> 63;
            risingCarry = m.rising >> 63;
            fallingCarry = m.falling >> 63;
            // Crossings count from sample 2, turns from sample 3 (where a
            // previous difference first exists); nothing past the level.
            Bits valid = length == kChunk ? ~Bits{0} : (Bits{1} << length) - 1;
            const Bits crossingsValid = base == 0 ? valid & ~Bits{3} : valid;
            const Bits turnsValid = base == 0 ? valid & ~Bits{7} : valid;
            follow<false>(maxima, base, m.above & ~abovePrev & crossingsValid,
                          risingPrev & ~m.rising & m.far & turnsValid);
            follow<true>(minima, base, m.below & ~belowPrev & crossingsValid,
                         fallingPrev & ~m.falling & m.far & turnsValid);
        }
        return true;
    }
};

// The rules applied sample by sample, for windows whose centred samples may
// not be finite.
void plainScan(const double *samples, int n, Centre centre, int delta, int capacity, Extrema &ex) {
    bool maxArmed = false, minArmed = false;
    double previousDiff = -1000.0;
    int lastMax = -1000000, lastMin = -1000000;
    for (int i = 2; i < n; ++i) {
        const double here = samples[i] - centre.mean, before = samples[i - 1] - centre.mean;
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
    }
}

} // namespace

void allowWideMasks(bool allowed) {
    __atomic_store_n(&wideMasks, allowed ? -1 : 0, __ATOMIC_RELAXED);
}

void markExtrema(const double *samples, int n, Centre centre, int delta, int capacity,
                 Extrema &ex) {
    ex.minCount = ex.maxCount = 0;
    if (n < 3)
        return;
    if (Scan{samples, centre, delta, capacity}.run(n, ex))
        return;
    ex.minCount = ex.maxCount = 0;
    plainScan(samples, n, centre, delta, capacity, ex);
}

} // namespace wavepitch
