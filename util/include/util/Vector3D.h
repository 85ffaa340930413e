// Small value types of three floats: Vector3D (a plain vector, or one slew
// channel of value, goal and rate), iSlew3D (a 3-D position whose coordinates
// each glide towards a goal) and point (a plain record). No heap storage, no
// virtual functions; copies are member by member.
#pragma once

class Vector3D {
  public:
    // As a vector: the three components. As a slew channel: x is the current
    // value, y the goal and z the rate per unit of time.
    float x;
    float y;
    float z;

    Vector3D();
    Vector3D(float a, float b, float c);
    Vector3D(const Vector3D &v);
    ~Vector3D();

    Vector3D &operator=(const Vector3D &v);
    void set(float a, float b, float c);

    // Slew channel use: a new goal, and one first-order step of dt.
    void update(float goal);
    void interp(float dt);

    Vector3D operator-(const Vector3D &v) const;
    float operator*(const Vector3D &v) const; // dot product
    void operator-=(const Vector3D &v);
};

class iSlew3D {
  public:
    explicit iSlew3D(float rate);
    iSlew3D(const Vector3D &start, float rate);
    iSlew3D(const iSlew3D &s) = default;
    ~iSlew3D();

    iSlew3D &operator=(const iSlew3D &s);

    void setSlew(float rate);
    void update(Vector3D goal);
    void interp(float dt);

    const Vector3D &slewX() const;
    const Vector3D &slewY() const;
    const Vector3D &slewZ() const;

  private:
    Vector3D mySlewX;
    Vector3D mySlewY;
    Vector3D mySlewZ;
    Vector3D myValue; // the three current values, refreshed with them
};

struct point {
    float x;
    float y;
    float z;
    point(float a, float b, float c);
};
