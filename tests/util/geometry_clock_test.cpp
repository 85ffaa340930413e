#include "util/Vector3D.h"
#include "util/XGfx.h"

#include <gtest/gtest.h>

namespace {

bool inside(float px, float py, float pz, const Vector3D &a, const Vector3D &b, const Vector3D &c) {
    return XGfx::isPointInTriangle2D(Vector3D(px, py, pz), a, b, c);
}

void setClock(XGfx::TimeSample prev, XGfx::TimeSample curr, float factor) {
    XGfx::ourPrevTime = prev;
    XGfx::ourCurrTime = curr;
    XGfx::ourDeltaFactor = factor;
}

// The clock as the program finds it at load, taken while the test program's
// statics are set up, before any test can sample it.
struct ClockAtLoad {
    XGfx::TimeSample prev, curr;
    float factor;
    double time;
    float delta;
};
const ClockAtLoad kAtLoad = {XGfx::ourPrevTime, XGfx::ourCurrTime, XGfx::ourDeltaFactor,
                             XGfx::getCurrentTime(false), XGfx::delta()};

} // namespace

TEST(PointInTriangle, StrictInsideEdgesAndProjection) {
    const Vector3D a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    EXPECT_TRUE(inside(0.25f, 0.25f, 0, a, b, c));
    EXPECT_TRUE(inside(0.25f, 0.25f, 5, a, b, c)); // judged by its projection
    EXPECT_FALSE(inside(0.5f, 0.5f, 0, a, b, c));  // on the long edge
    EXPECT_FALSE(inside(0.5f, 0, 0, a, b, c));     // on an edge
    EXPECT_FALSE(inside(0, 0, 0, a, b, c));        // a corner
    EXPECT_FALSE(inside(0.6f, 0.6f, 0, a, b, c));
    EXPECT_FALSE(inside(-0.1f, 0.2f, 0, a, b, c));
}

TEST(PointInTriangle, CornerOrderDoesNotMatterForClearCases) {
    const Vector3D a(-2, -1, 0), b(3, 0.5f, 0), c(0, 4, 0);
    const Vector3D corners[3] = {a, b, c};
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto &o : orders) {
        const Vector3D &p = corners[o[0]], &q = corners[o[1]], &r = corners[o[2]];
        EXPECT_TRUE(inside(0.3f, 1.0f, 0, p, q, r));
        EXPECT_TRUE(inside(-1.5f, -0.8f, 0, p, q, r));
        EXPECT_FALSE(inside(3, 3, 0, p, q, r));
        EXPECT_FALSE(inside(0, -2, 0, p, q, r));
    }
}

TEST(PointInTriangle, DegenerateTriangleContainsNothing) {
    const Vector3D a(0, 0, 0), b(1, 1, 0), c(2, 2, 0);
    for (float x = -1; x <= 3; x += 0.25f)
        for (float y = -1; y <= 3; y += 0.25f)
            EXPECT_FALSE(inside(x, y, 0, a, b, c)) << x << ", " << y;
    EXPECT_FALSE(inside(0.25f, 0.25f, 0, a, a, a));
}

// The clock as it is at load, then one cycle of samples from that state.
TEST(FrameClock, LifecycleOfSamples) {
    EXPECT_EQ(kAtLoad.prev.seconds, 0);
    EXPECT_EQ(kAtLoad.prev.microseconds, 0);
    EXPECT_EQ(kAtLoad.curr.seconds, 0);
    EXPECT_EQ(kAtLoad.curr.microseconds, 0);
    EXPECT_EQ(kAtLoad.factor, 1.0f);
    EXPECT_EQ(kAtLoad.time, 0.0);
    EXPECT_EQ(kAtLoad.delta, 0.0f);

    // From here on the same from the state at load, whatever ran before.
    setClock({0, 0}, {0, 0}, 1.0f);

    const double first = XGfx::getCurrentTime(true);
    EXPECT_GT(first, 1.0e9);        // a wall-clock time, not an uptime
    EXPECT_EQ(XGfx::delta(), 0.0f); // the first sample finds no previous one
    EXPECT_EQ(XGfx::getCurrentTime(false), first);

    const double second = XGfx::getCurrentTime(true);
    EXPECT_GE(second, first);
    EXPECT_EQ(XGfx::delta(), static_cast<float>(second - first));
    EXPECT_EQ(XGfx::ourPrevTime.seconds * 1000000 + XGfx::ourPrevTime.microseconds,
              static_cast<long long>(first * 1e6 + 0.5));
    setClock({0, 0}, {0, 0}, 1.0f);
}

TEST(FrameClock, DeltaScalesAndResets) {
    setClock({100, 250000}, {101, 0}, 1.0f);
    EXPECT_FLOAT_EQ(XGfx::delta(), 0.75f);
    EXPECT_EQ(XGfx::getCurrentTime(false), 101.0);
    XGfx::setDeltaFactor(0.5f);
    EXPECT_FLOAT_EQ(XGfx::delta(), 0.375f);
    XGfx::setDeltaFactor(0.0f);
    EXPECT_EQ(XGfx::delta(), 0.0f);
    XGfx::setDeltaFactor(-2.0f); // not checked: a negative factor runs time backwards
    EXPECT_FLOAT_EQ(XGfx::delta(), -1.5f);

    XGfx::setDeltaFactor(1.0f);
    XGfx::resetCurrentTime();
    EXPECT_EQ(XGfx::delta(), 0.0f);
    EXPECT_EQ(XGfx::ourCurrTime.seconds, 101);
    EXPECT_EQ(XGfx::ourPrevTime.microseconds, 0);

    // The next sample measures from the last one before the reset.
    const double now = XGfx::getCurrentTime(true);
    EXPECT_EQ(XGfx::ourPrevTime.seconds, 101);
    EXPECT_FLOAT_EQ(XGfx::delta(), static_cast<float>(now - 101.0));
    setClock({0, 0}, {0, 0}, 1.0f);
}
