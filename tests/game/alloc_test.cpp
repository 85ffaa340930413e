// The audio callback never allocates: every allocation in this program goes
// through these counting replacements of the C allocator.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include <game/audio.h>
#include <game/state.h>

#include "sung_signals.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void note() {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void *malloc(size_t n) {
    note();
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
    note();
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
    note();
    return __libc_realloc(p, n);
}
void *memalign(size_t align, size_t n) {
    note();
    return __libc_memalign(align, n);
}
void *aligned_alloc(size_t align, size_t n) {
    note();
    return __libc_memalign(align, n);
}
int posix_memalign(void **out, size_t align, size_t n) {
    note();
    *out = __libc_memalign(align, n);
    return *out != nullptr ? 0 : 12;
}
void free(void *p) {
    __libc_free(p);
}
}

namespace {

long allocationsDuring(void (*work)()) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations.load();
}

std::vector<double> in;
std::vector<double> out(512);

void playAndListen() {
    for (int block = 0; block < 200; ++block) {
        gen_sine = block % 3 != 0;
        pitch_listen = block % 5 != 0;
        tracker_reset = block % 7 == 0;
        audioCallback(out.data(), in.data(), 512, 0.0, 0, nullptr);
    }
}

void allocateOnce() {
    void *volatile p = std::malloc(64);
    std::free(p);
}

} // namespace

TEST(GameAllocations, CallbackAllocatesNothing) {
    in = testsignal::voice(233.0, 512);
    dywapitch_inittracking(&pitchtracker);
    ASSERT_EQ(allocationsDuring(allocateOnce), 1); // the count does see allocations
    EXPECT_EQ(allocationsDuring(playAndListen), 0);
    EXPECT_GT(pitchArray[100].load(), 0.0);
}
