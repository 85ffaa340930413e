#include "render/board.h"

#include <GL/glut.h>

#include <game/state.h>

#include "render/arrow.h"

namespace {

struct TextLine {
    GLfloat dx, dy, dz; // translation from the previous line's origin
    const char *text;
};

const TextLine kInstructions[] = {
    {-0.7f, 0.45f, 0.6f, "Welcome to Arrowsong!"}, {0.0f, -0.04f, 0.0f, "To hear the pitch,"},
    {0.05f, -0.03f, 0.0f, "press spacebar."},      {-0.05f, -0.03f, 0.0f, "Press again to stop."},
    {0.75f, 0.09f, 0.0f, "Click and hold the"},    {0.0f, -0.05f, 0.0f, "mouse and sing the"},
    {0.05f, -0.05f, 0.0f, "pitch back."},
};

struct Ring {
    GLfloat r, g, b;
    double radius;
};

// Front to back, 0.01 apart: each smaller disk lies in front of the next
// larger one, so the depth test leaves a blue centre and alternating rings.
const Ring kBoard[] = {
    {0.0f, 0.0f, 0.8f, 0.02}, {0.8f, 0.0f, 0.0f, 0.06}, {0.0f, 0.0f, 0.8f, 0.13},
    {0.8f, 0.0f, 0.0f, 0.24}, {0.0f, 0.0f, 0.8f, 0.37}, {0.8f, 0.0f, 0.0f, 0.5},
};

void drawCornerDisk(GLfloat x) {
    glPushMatrix();
    GLUquadric *quadric = gluNewQuadric();
    glColor3f(1.0f, 1.0f, 0.8f);
    glTranslatef(x, 0.5f, 0.5f);
    // Without a quadric (no memory) the disk is left out of this frame.
    if (quadric != nullptr)
        gluDisk(quadric, 0.0, 0.25, 32, 32);
    glPopMatrix();
    if (quadric != nullptr)
        gluDeleteQuadric(quadric);
}

void drawInstructions() {
    glPushMatrix();
    for (const TextLine &line : kInstructions) {
        glTranslatef(line.dx, line.dy, line.dz);
        draw_text(line.text);
    }
    glPopMatrix();
}

void drawTarget() {
    glPushMatrix();
    bool first = true;
    for (const Ring &ring : kBoard) {
        glTranslatef(0.0f, 0.0f, first ? 0.01f : -0.01f);
        first = false;
        drawBoardCircle(static_cast<double>(ring.r), static_cast<double>(ring.g),
                        static_cast<double>(ring.b), ring.radius);
    }
    glPopMatrix();
}

} // namespace

void drawBoard(double step) {
    drawCornerDisk(0.5f);
    drawCornerDisk(-0.5f);
    drawInstructions();
    glPushMatrix();
    moveArrow(x_adj, y_adj, step);
    glPopMatrix();
    drawTarget();
}

void drawBoardCircle(double red, double green, double blue, double radius) {
    glColor3f(static_cast<GLfloat>(red), static_cast<GLfloat>(green), static_cast<GLfloat>(blue));
    glLineWidth(1.0f);
    GLUquadric *quadric = gluNewQuadric();
    if (quadric == nullptr)
        return;
    gluDisk(quadric, 0.0, radius, 32, 32);
    gluDeleteQuadric(quadric);
}

// The raster position passes through the matrices and the lighting like a
// vertex and takes the colour current at that moment: the first line of a
// frame shows in the pale yellow of the corner disks, the later ones white.
void draw_text(const char *line) {
    glPushMatrix();
    glRasterPos2f(0.2f, 0.0f);
    for (const char *c = line; c != nullptr && *c != '\0'; ++c) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glutBitmapCharacter(GLUT_BITMAP_9_BY_15, static_cast<unsigned char>(*c));
    }
    glPopMatrix();
}
