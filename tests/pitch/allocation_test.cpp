// The tracker runs on the audio thread, where nothing may allocate. This
// program is linked with malloc, calloc, realloc and free wrapped, so every
// allocation made by the module's objects passes through the counters here.
#include "dywapitch_internal.h"
#include "signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

extern "C" {
void *__real_malloc(std::size_t size);
void *__real_calloc(std::size_t n, std::size_t size);
void *__real_realloc(void *p, std::size_t size);
void __real_free(void *p);
}

namespace {
std::atomic<int> allocations{0};
std::atomic<int> releases{0};
std::atomic<bool> failNext{false};
} // namespace

extern "C" {
void *__wrap_malloc(std::size_t size) {
    ++allocations;
    if (failNext.exchange(false))
        return nullptr;
    return __real_malloc(size);
}
void *__wrap_calloc(std::size_t n, std::size_t size) {
    ++allocations;
    return __real_calloc(n, size);
}
void *__wrap_realloc(void *p, std::size_t size) {
    ++allocations;
    return __real_realloc(p, size);
}
void __wrap_free(void *p) {
    ++releases;
    __real_free(p);
}
}

namespace {

TEST(Allocation, NoneForWindowsUpTo4096) {
    const auto x = signals::harmonics(180.0, 4096 + 100, {0.7, 0.4, 0.2});
    _dywapitchtracker t;
    dywapitch_inittracking(&t);
    int pitched = 0;
    const int before = allocations, freed = releases;
    for (int count : {4, 100, 512, 1000, 2048, 3000, 4096}) {
        pitched += dywapitch_computepitch(&t, x.data(), 50, count) > 0.0;
        pitched += _dywapitch_computeWaveletPitch(x.data(), 0, count) > 0.0;
    }
    EXPECT_EQ(allocations - before, 0);
    EXPECT_EQ(releases - freed, 0);
    EXPECT_GE(pitched, 8) << "the windows must be estimated, not rejected";
}

TEST(Allocation, LongerWindowsUseTheHeapAndSurviveItsFailure) {
    const auto x = signals::sine(180.0, 8192);
    const int before = allocations, freed = releases;
    const double pitch = _dywapitch_computeWaveletPitch(x.data(), 0, 8192);
    EXPECT_NEAR(signals::cents(pitch, 180.0), 0.0, 20.0);
    EXPECT_EQ(allocations - before, 1);
    EXPECT_EQ(releases - freed, 1);

    failNext = true;
    EXPECT_EQ(_dywapitch_computeWaveletPitch(x.data(), 0, 8192), 0.0);
    EXPECT_FALSE(failNext);
    // And the next call works again.
    EXPECT_EQ(_dywapitch_computeWaveletPitch(x.data(), 0, 8192), pitch);
}

} // namespace
