// The texture loader and memory: every allocation of this program goes
// through the C allocator below, which notes the largest request, and a
// child process loads under an address-space limit. The sanitizers replace
// the allocator and reserve address space of their own, so this program is
// built without them.
#include "XImageCodec.h"
#include "util/XGfx.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {
std::atomic<bool> watching{false};
std::atomic<std::size_t> largest{0};
void note(std::size_t n) {
    if (!watching.load(std::memory_order_relaxed))
        return;
    std::size_t seen = largest.load(std::memory_order_relaxed);
    while (n > seen && !largest.compare_exchange_weak(seen, n))
        ;
}
} // namespace

extern "C" {
void *malloc(size_t n) {
    note(n);
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
    note(n * size);
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
    note(n);
    return __libc_realloc(p, n);
}
void *memalign(size_t align, size_t n) {
    note(n);
    return __libc_memalign(align, n);
}
void *aligned_alloc(size_t align, size_t n) {
    note(n);
    return __libc_memalign(align, n);
}
int posix_memalign(void **out, size_t align, size_t n) {
    note(n);
    *out = __libc_memalign(align, n);
    return *out != nullptr ? 0 : 12;
}
void free(void *p) {
    __libc_free(p);
}
}

namespace {

std::string corpusFile(const char *name) {
    return std::string(ARROWSONG_IMAGE_CORPUS) + "/" + name;
}

XTexture sentinelRecord() {
    XTexture t{};
    t.width = -7.0f;
    t.height = -9.0f;
    return t;
}

// Bytes of address space this process maps now, and of memory resident.
std::size_t statmBytes(int field) {
    unsigned long pages[2] = {0, 0};
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu %lu", &pages[0], &pages[1]) != 2)
            pages[0] = pages[1] = 0;
        std::fclose(f);
    }
    return pages[field] * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}
std::size_t mappedBytes() {
    return statmBytes(0);
}
std::size_t residentBytes() {
    return statmBytes(1);
}

} // namespace

TEST(TextureMemory, DamagedTinyPngNeverAsksForMuch) {
    // The first one's chunks once made the decoder ask for 2 GiB; its header
    // buys ~1 MiB. The second claims 8192 x 8192 in 83 bytes, which once
    // bought 256 MiB blocks: its data stream cannot hold a fraction of that.
    for (const char *name : {"damaged-stream.png", "claims-8192.png"}) {
        const std::string path = corpusFile(name);
        XTexture t = sentinelRecord();
        ::testing::internal::CaptureStderr();
        largest = 0;
        watching = true;
        const bool ok = XGfx::loadTexture(path, &t);
        watching = false;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        EXPECT_EQ(err, "[x-gfx]: cannot load file: " + path + "\n");
        EXPECT_EQ(t.width, -7.0f);
        EXPECT_EQ(t.height, -9.0f);
        EXPECT_LT(largest.load(), std::size_t{2} << 20) << name;
        EXPECT_GT(largest.load(), 0u); // the load really was watched
    }
}

// A block the decoder is given costs address space until it writes there:
// a header's claim that the data never fills must not become resident.
TEST(TextureMemory, DecoderBlocksAreReservedNotTouched) {
    const std::size_t bytes = std::size_t{256} << 20;
    xgfx::DecodeBudget budget(bytes);
    const std::size_t before = residentBytes();
    auto *block = static_cast<unsigned char *>(xgfx::DecodeBudget::allocate(bytes));
    ASSERT_NE(block, nullptr);
    const std::size_t grown = residentBytes() - std::min(before, residentBytes());
    EXPECT_EQ(block[0] | block[bytes / 2] | block[bytes - 1], 0); // zeroed all the same
    xgfx::DecodeBudget::release(block);
    EXPECT_LT(grown, std::size_t{16} << 20);
}

// Resampling upward to the largest texture side needs hundreds of MB; with
// less address space than that left, the load fails like a bad file.
TEST(TextureMemory, ResamplingPastTheMemoryLeftIsAFailedLoad) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    const int side = std::min(static_cast<int>(maxSide), 8192);
    ASSERT_GE(side, 4096);
    const std::size_t resampled = static_cast<std::size_t>(side) * side * 4;
    const std::string path = corpusFile("rgba.png"); // 8 x 6

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Room for reading and decoding the small file, not for the result.
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        const rlimit limit{mappedBytes() + resampled / 2, mappedBytes() + resampled / 2};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            ::_exit(20);
        XTexture t = sentinelRecord();
        t.resizeWidth = static_cast<float>(side);
        t.resizeHeight = static_cast<float>(side);
        bool ok = false;
        try {
            ok = XGfx::loadTexture(path, &t);
        } catch (...) {
            ::_exit(23);
        }
        ::_exit(ok ? 21 : (t.width != -7.0f || t.height != -9.0f) ? 22 : 0);
    }
    ::close(pipeFds[1]);
    std::string err;
    char buf[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        err.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status))
        << "the loader let the child die, signal " << WTERMSIG(status) << "; stderr: " << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "20: no limit, 21: loaded, 22: record changed, 23: threw";
    EXPECT_EQ(err, "[x-gfx]: cannot load file: " + path + "\n");
}
