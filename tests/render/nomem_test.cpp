// Drawing while the allocator refuses: a quadric that cannot be created leaves
// its shape out of the frame, and the arrow's flight goes on.
#include <atomic>
#include <cstddef>

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <game/state.h>
#include <render/arrow.h>
#include <render/board.h>

#include "gl_fixture.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
}

namespace {
std::atomic<bool> refusing{false};
std::atomic<long> refused{0};
} // namespace

extern "C" void *malloc(size_t n) {
    if (refusing.load()) {
        ++refused;
        return nullptr;
    }
    return __libc_malloc(n);
}

extern "C" void *calloc(size_t n, size_t size) {
    if (refusing.load()) {
        ++refused;
        return nullptr;
    }
    return __libc_calloc(n, size);
}

TEST(RenderWithoutMemory, QuadriclessFramesStillFlyTheArrow) {
    startWindowOnce();
    drawAndRead(); // let the driver settle its own storage first
    x_adj = -0.3;
    y_adj = 0.35;
    arrow_move = true;
    refusing = true;
    glPushMatrix();
    moveArrow(x_adj, y_adj, 0.05);
    glPopMatrix();
    drawBoardCircle(0.8, 0.0, 0.0, 0.5);
    drawBoard(0.05);
    refusing = false;
    EXPECT_GT(refused.load(), 0); // the quadrics really were refused
    EXPECT_FALSE(arrow_move);
    // Two steps of 0.05 s at rate 6 cover 1 - 0.7 * 0.7 of the way.
    EXPECT_NEAR(arrow.slewY().x, 0.35 * 0.51, 1e-4);
    EXPECT_NEAR(arrow.slewZ().x, 1.8 * 0.49, 1e-4);
}
