#include "render/window.h"

#include <cstdlib>
#include <ctime>

#include <GL/glut.h>

#include <game/controls.h>
#include <game/rules.h>
#include <game/state.h>

#include "render/board.h"

static_assert(kLeftButton == GLUT_LEFT_BUTTON && kMiddleButton == GLUT_MIDDLE_BUTTON &&
                  kRightButton == GLUT_RIGHT_BUTTON,
              "the game's button codes are the toolkit's");
static_assert(kButtonDown == GLUT_DOWN && kButtonUp == GLUT_UP,
              "the game's button states are the toolkit's");

point lookFrom(0.0f, 0.02f, 1.0f);
point lookTo(0.0f, 0.0f, 0.0f);
point headUp(0.0f, 1.0f, 0.0f);

timeval timer = {0, 0};
std::int64_t time_now = -1;

namespace {

void registerHandlers() {
    glutIdleFunc(idleFunc);
    glutDisplayFunc(displayFunc);
    glutReshapeFunc(reshapeFunc);
    glutKeyboardFunc(keyboardFunc);
    glutMouseFunc(mouseFunc);
    setWindowRequests({glutPostRedisplay, glutFullScreen, glutReshapeWindow, reshapeFunc});
}

void setBasicState() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// The light is positioned while the modelview matrix is still the identity,
// so it stays fixed relative to the viewer. Colour material, enabled last,
// then takes over ambient and diffuse from every glColor3f; the specular
// colour and the shininess set here remain.
void setLightAndMaterial() {
    const GLfloat grey[] = {0.5f, 0.5f, 0.5f, 0.2f};
    const GLfloat shininess[] = {50.0f};
    const GLfloat position[] = {2.0f, 1.0f, 1.5f, 0.5f};
    const GLfloat direction[] = {-1.0f, -1.0f, 0.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, grey);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, grey);
    glMaterialfv(GL_FRONT, GL_AMBIENT, grey);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180.0f);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
}

} // namespace

void initGfx() {
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(w_width, w_height);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Arrowsong");
    registerHandlers();
    setBasicState();
    srandLanding(static_cast<unsigned>(std::time(nullptr)));
    setLightAndMaterial();
}

void reshapeFunc(int width, int height) {
    w_width = width;
    w_height = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A window minimised to no height would make the aspect infinite and the
    // projection unusable; it is drawn as one pixel high instead.
    const float aspect = static_cast<float>(width) / static_cast<float>(height > 0 ? height : 1);
    gluPerspective(40.0, static_cast<double>(aspect), 0.1, 300.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    changeView(lookFrom, lookTo, headUp);
}

void changeView(point eye, point centre, point up) {
    gluLookAt(static_cast<double>(eye.x), static_cast<double>(eye.y), static_cast<double>(eye.z),
              static_cast<double>(centre.x), static_cast<double>(centre.y),
              static_cast<double>(centre.z), static_cast<double>(up.x), static_cast<double>(up.y),
              static_cast<double>(up.z));
}

void displayFunc() {
    gettimeofday(&timer, nullptr);
    const std::int64_t now = static_cast<std::int64_t>(timer.tv_sec) * 1000000 + timer.tv_usec;
    const std::int64_t elapsed = now - time_now;
    drawFrame(static_cast<double>(elapsed) / 1000000.0);
    time_now = now;
}

void drawFrame(double step) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    // The modelview matrix already holds the camera from the last reshape;
    // applying it a second time is what frames the board and the text.
    changeView(lookFrom, lookTo, headUp);
    drawBoard(step);
    glPopMatrix();
    glFlush();
    glutSwapBuffers();
}
