// Vector3D, iSlew3D and point. All plain float arithmetic on inline storage.
#include "util/Vector3D.h"

Vector3D::Vector3D() : x(0.0f), y(0.0f), z(0.0f) {}

Vector3D::Vector3D(float a, float b, float c) : x(0.0f), y(0.0f), z(0.0f) {
    set(a, b, c);
}

Vector3D::Vector3D(const Vector3D &v) : x(0.0f), y(0.0f), z(0.0f) {
    *this = v;
}

Vector3D::~Vector3D() = default;

Vector3D &Vector3D::operator=(const Vector3D &v) {
    x = v.x;
    y = v.y;
    z = v.z;
    return *this;
}

void Vector3D::set(float a, float b, float c) {
    x = a;
    y = b;
    z = c;
}

void Vector3D::update(float goal) {
    y = goal;
}

// One first-order step towards the goal: the distance shrinks by the factor
// (1 - rate * dt). The factor is deliberately not limited, so large steps
// overshoot; callers choose rate and dt.
void Vector3D::interp(float dt) {
    float d = y - x;
    d = d * z;
    d = d * dt;
    x = d + x;
}

Vector3D Vector3D::operator-(const Vector3D &v) const {
    Vector3D r(*this);
    r -= v;
    return r;
}

float Vector3D::operator*(const Vector3D &v) const {
    return (x * v.x + y * v.y) + z * v.z;
}

void Vector3D::operator-=(const Vector3D &v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
}

iSlew3D::iSlew3D(float rate)
    : mySlewX(0.0f, 0.0f, rate), mySlewY(0.0f, 0.0f, rate), mySlewZ(0.0f, 0.0f, rate),
      myValue(0.0f, 0.0f, 0.0f) {}

iSlew3D::iSlew3D(const Vector3D &start, float rate)
    : mySlewX(start.x, start.x, rate), mySlewY(start.y, start.y, rate),
      mySlewZ(start.z, start.z, rate), myValue(start) {}

iSlew3D::~iSlew3D() = default;

iSlew3D &iSlew3D::operator=(const iSlew3D &s) {
    mySlewX = s.mySlewX;
    mySlewY = s.mySlewY;
    mySlewZ = s.mySlewZ;
    myValue = s.myValue;
    return *this;
}

void iSlew3D::setSlew(float rate) {
    mySlewX.z = rate;
    mySlewY.z = rate;
    mySlewZ.z = rate;
}

void iSlew3D::update(Vector3D goal) {
    mySlewX.update(goal.x);
    mySlewY.update(goal.y);
    mySlewZ.update(goal.z);
}

void iSlew3D::interp(float dt) {
    mySlewX.interp(dt);
    mySlewY.interp(dt);
    mySlewZ.interp(dt);
    myValue.set(mySlewX.x, mySlewY.x, mySlewZ.x);
}

const Vector3D &iSlew3D::slewX() const {
    return mySlewX;
}

const Vector3D &iSlew3D::slewY() const {
    return mySlewY;
}

const Vector3D &iSlew3D::slewZ() const {
    return mySlewZ;
}

point::point(float a, float b, float c) : x(a), y(b), z(c) {}
