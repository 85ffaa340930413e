#include "util/Vector3D.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectVec(const Vector3D &v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

} // namespace

TEST(Vector3D, ArithmeticLeavesOperandsAlone) {
    expectVec(Vector3D(), 0, 0, 0);
    const Vector3D a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(a * b, 32.0f);
    expectVec(a - b, -3, -3, -3);
    expectVec(a, 1, 2, 3);
    expectVec(b, 4, 5, 6);
    Vector3D c(a);
    c -= b;
    expectVec(c, -3, -3, -3);
    Vector3D d;
    (d = b).set(7, 8, 9);
    expectVec(d, 7, 8, 9);
}

TEST(Vector3D, ChannelStepsHalveTheDistance) {
    Vector3D ch(0, 10, 2);
    ch.interp(0.25f);
    EXPECT_FLOAT_EQ(ch.x, 5.0f);
    ch.interp(0.25f);
    EXPECT_FLOAT_EQ(ch.x, 7.5f);
    ch.interp(0.25f);
    EXPECT_FLOAT_EQ(ch.x, 8.75f);
    EXPECT_EQ(ch.y, 10.0f);
    EXPECT_EQ(ch.z, 2.0f);
    ch.update(-4.0f);
    expectVec(ch, 8.75f, -4.0f, 2.0f);
}

TEST(Vector3D, UnlimitedFactorOvershootsAndDiverges) {
    Vector3D once(0, 10, 4); // rate * dt = 1
    once.interp(0.25f);
    EXPECT_FLOAT_EQ(once.x, 10.0f);

    Vector3D swing(0, 10, 6); // rate * dt = 1.5: overshoot, shrinking
    swing.interp(0.25f);
    EXPECT_FLOAT_EQ(swing.x, 15.0f);
    swing.interp(0.25f);
    EXPECT_FLOAT_EQ(swing.x, 7.5f);

    Vector3D away(0, 10, 12); // rate * dt = 3: each swing wider
    float prev = 10.0f;
    for (int i = 0; i < 4; ++i) {
        away.interp(0.25f);
        const float dist = std::fabs(away.x - 10.0f);
        EXPECT_GT(dist, prev - 1e-3f);
        prev = dist;
    }

    Vector3D back(0, 10, 1);
    back.interp(-1.0f);
    EXPECT_FLOAT_EQ(back.x, -10.0f);
}

TEST(iSlew3D, ConstructionStartsAtRest) {
    iSlew3D s(0.5f);
    s.interp(1.0f);
    expectVec(s.slewX(), 0, 0, 0.5f);
    expectVec(s.slewY(), 0, 0, 0.5f);
    expectVec(s.slewZ(), 0, 0, 0.5f);

    iSlew3D t(Vector3D(1, 2, 3), 4.0f);
    expectVec(t.slewX(), 1, 1, 4);
    expectVec(t.slewY(), 2, 2, 4);
    expectVec(t.slewZ(), 3, 3, 4);
    t.interp(0.1f);
    expectVec(t.slewZ(), 3, 3, 4);
}

TEST(iSlew3D, UpdateAndSetSlewTouchOnlyTheirField) {
    iSlew3D s(Vector3D(0, 0, 0), 1.0f);
    s.update(Vector3D(10, -20, 40));
    expectVec(s.slewX(), 0, 10, 1); // value waits for the next step
    s.setSlew(2.0f);
    expectVec(s.slewY(), 0, -20, 2);
    s.interp(0.25f);
    EXPECT_FLOAT_EQ(s.slewX().x, 5.0f);
    EXPECT_FLOAT_EQ(s.slewY().x, -10.0f);
    EXPECT_FLOAT_EQ(s.slewZ().x, 20.0f);

    s.interp(0.0f);
    EXPECT_FLOAT_EQ(s.slewX().x, 5.0f);
    s.setSlew(0.0f);
    s.interp(1.0f);
    EXPECT_FLOAT_EQ(s.slewX().x, 5.0f);
}

TEST(iSlew3D, AssignmentRestartsWithNewRates) {
    iSlew3D arrow(Vector3D(0, 0, 0), 3.0f);
    arrow.update(Vector3D(1, 1, 1));
    arrow.interp(0.1f);
    arrow = iSlew3D(Vector3D(0, 0, 10), 1.0f);
    expectVec(arrow.slewZ(), 10, 10, 1);
    expectVec(arrow.slewX(), 0, 0, 1);
    const iSlew3D copy(arrow);
    expectVec(copy.slewZ(), 10, 10, 1);
}

TEST(point, HoldsItsThreeFloats) {
    const point p(1.5f, -2.0f, 8.0f);
    EXPECT_EQ(p.x, 1.5f);
    EXPECT_EQ(p.y, -2.0f);
    EXPECT_EQ(p.z, 8.0f);
}
