#include "render/arrow.h"

#include <algorithm>

#include <GL/glu.h>

#include <game/state.h>

iSlew3D arrow(0.5f);

namespace {

// Close to the viewer, a little below and to the right of the eye.
const Vector3D kStart(0.02f, 0.0f, 1.8f);
constexpr float kFlightRate = 6.0f; // per second, on every axis

// Shaft back towards the viewer, its front cap, and the grey point that
// reaches 0.05 ahead of the position into the board.
void drawArrowShape(GLUquadric *quadric) {
    gluCylinder(quadric, 0.002, 0.005, 0.6, 32, 32);
    gluDisk(quadric, 0.0, 0.002, 32, 32);
    glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
    glColor3f(0.5f, 0.5f, 0.5f);
    gluCylinder(quadric, 0.001, 0.0, 0.05, 32, 32);
}

} // namespace

float arrowStep(double step) {
    // At a rate of 6, a step of 1/6 s closes the whole distance; a longer one
    // would overshoot, and past 1/3 s swing the arrow further out each frame.
    return static_cast<float>(std::clamp(step, 0.0, 1.0 / 6.0));
}

void moveArrow(double x, double y, double step) {
    if (arrow_move) {
        arrow = iSlew3D(kStart, 1.0f);
        arrow.setSlew(kFlightRate);
        arrow.update(Vector3D(static_cast<float>(x), static_cast<float>(y), 0.0f));
    }
    glLineWidth(4.0f);
    glColor3f(1.0f, 0.9f, 0.7f);
    glTranslatef(arrow.slewX().x, arrow.slewY().x, arrow.slewZ().x);
    arrow_move = false;
    // Without a quadric (no memory) the arrow is not drawn this frame, but
    // its flight goes on.
    GLUquadric *quadric = gluNewQuadric();
    if (quadric != nullptr)
        drawArrowShape(quadric);
    arrow.interp(arrowStep(step));
    if (quadric != nullptr)
        gluDeleteQuadric(quadric);
}
