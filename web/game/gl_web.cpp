#include "gl_web.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <GL/glu.h>
#include <GL/glut.h>

// The font record GLUT_BITMAP_9_BY_15 points to; only its address counts.
void *glutBitmap9By15 = nullptr;

struct GLUquadric {
    int unused = 0;
};

namespace {

using arrowsong::web::Frame;
using arrowsong::web::Handlers;
using arrowsong::web::WindowWish;

// 4 x 4 matrices in GL's column-major order.
struct Mat4 {
    float m[16];
    static Mat4 identity() {
        Mat4 r{};
        r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
        return r;
    }
};

Mat4 multiply(const Mat4 &a, const Mat4 &b) {
    Mat4 r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = sum;
        }
    return r;
}

struct Vec4 {
    float x, y, z, w;
};

Vec4 transform(const Mat4 &a, Vec4 v) {
    const float *m = a.m;
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
            m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
            m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
            m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
}

struct Vec3 {
    float x, y, z;
};

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 normalised(Vec3 v) {
    const float length = std::sqrt(dot(v, v));
    if (length == 0.0f)
        return v;
    return {v.x / length, v.y / length, v.z / length};
}

// The inverse transpose of the upper 3 x 3 of a matrix, which carries
// normals into eye space (rows of the result, applied as r . n).
struct NormalMatrix {
    Vec3 rows[3];
    Vec3 apply(Vec3 n) const { return {dot(rows[0], n), dot(rows[1], n), dot(rows[2], n)}; }
};

NormalMatrix normalMatrix(const Mat4 &a) {
    const float *m = a.m;
    // a(row, col) = m[col * 4 + row]
    const float a00 = m[0], a01 = m[4], a02 = m[8];
    const float a10 = m[1], a11 = m[5], a12 = m[9];
    const float a20 = m[2], a21 = m[6], a22 = m[10];
    const float c00 = a11 * a22 - a12 * a21, c01 = a12 * a20 - a10 * a22,
                c02 = a10 * a21 - a11 * a20;
    const float c10 = a02 * a21 - a01 * a22, c11 = a00 * a22 - a02 * a20,
                c12 = a01 * a20 - a00 * a21;
    const float c20 = a01 * a12 - a02 * a11, c21 = a02 * a10 - a00 * a12,
                c22 = a00 * a11 - a01 * a10;
    float det = a00 * c00 + a01 * c01 + a02 * c02;
    if (det == 0.0f)
        det = 1.0f;
    // (A^-1)^T is the cofactor matrix over the determinant.
    return {{{c00 / det, c01 / det, c02 / det},
             {c10 / det, c11 / det, c12 / det},
             {c20 / det, c21 / det, c22 / det}}};
}

struct Light {
    float ambient[4] = {0, 0, 0, 1};
    float diffuse[4] = {1, 1, 1, 1};
    float specular[4] = {1, 1, 1, 1};
    float position[4] = {0, 0, 1, 0}; // eye space, as given through the modelview
};

struct Material {
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
    float specular[4] = {0, 0, 0, 1};
    float emission[4] = {0, 0, 0, 1};
    float shininess = 0;
};

struct TextRun {
    bool valid = false;
    float x = 0, y = 0; // window position, GL's y up
    float colour[4] = {1, 1, 1, 1};
    std::string text;
};

struct State {
    std::vector<Mat4> modelview{Mat4::identity()};
    std::vector<Mat4> projection{Mat4::identity()};
    GLenum matrixMode = GL_MODELVIEW;
    float colour[4] = {1, 1, 1, 1};
    Vec3 normal{0, 0, 1};
    bool lighting = false;
    bool light0 = false;
    bool colourMaterial = false;
    bool depthTest = false;
    bool blend = false;
    Light light;
    Material material;
    const float globalAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
    int viewport[4] = {0, 0, 800, 800};
    float clearColour[4] = {0, 0, 0, 0};

    std::vector<float> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<TextRun> runs;

    // What the page shows: the last finished frame.
    std::vector<float> shownVertices;
    std::vector<std::uint32_t> shownIndices;
    std::string shownText;
    Frame frame;

    Handlers handlers;
    bool redisplay = false;
    WindowWish wish;
};

State &gl() {
    static State state;
    return state;
}

Mat4 &current() {
    State &s = gl();
    return s.matrixMode == GL_PROJECTION ? s.projection.back() : s.modelview.back();
}

std::vector<Mat4> &currentStack() {
    State &s = gl();
    return s.matrixMode == GL_PROJECTION ? s.projection : s.modelview;
}

void multiplyCurrent(const Mat4 &by) {
    Mat4 &top = current();
    top = multiply(top, by);
}

void trackColour() {
    State &s = gl();
    if (!s.colourMaterial)
        return;
    std::copy(s.colour, s.colour + 4, s.material.ambient);
    std::copy(s.colour, s.colour + 4, s.material.diffuse);
}

// The fixed-function lighting of one vertex in eye space: emission, the
// scene's ambient, and light 0 (positional or directional, no attenuation,
// no spot) with a viewer at infinity. Without lighting, the current colour.
void lightVertex(Vec3 eye, Vec3 n, float out[4]) {
    const State &s = gl();
    if (!s.lighting) {
        std::copy(s.colour, s.colour + 4, out);
        return;
    }
    const Material &m = s.material;
    float c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = m.emission[i] + m.ambient[i] * s.globalAmbient[i];
    if (s.light0) {
        const Light &l = s.light;
        Vec3 toLight;
        if (l.position[3] != 0.0f) {
            const float w = l.position[3];
            toLight = normalised(
                {l.position[0] / w - eye.x, l.position[1] / w - eye.y, l.position[2] / w - eye.z});
        } else {
            toLight = normalised({l.position[0], l.position[1], l.position[2]});
        }
        const float diffuse = std::max(dot(n, toLight), 0.0f);
        float specular = 0.0f;
        if (diffuse > 0.0f) {
            const Vec3 half = normalised({toLight.x, toLight.y, toLight.z + 1.0f});
            const float nh = std::max(dot(n, half), 0.0f);
            specular = nh > 0.0f ? std::pow(nh, m.shininess) : (m.shininess == 0.0f ? 1.0f : 0.0f);
        }
        for (int i = 0; i < 3; ++i)
            c[i] += l.ambient[i] * m.ambient[i] + diffuse * l.diffuse[i] * m.diffuse[i] +
                    specular * l.specular[i] * m.specular[i];
    }
    for (int i = 0; i < 3; ++i)
        out[i] = std::clamp(c[i], 0.0f, 1.0f);
    out[3] = std::clamp(m.diffuse[3], 0.0f, 1.0f);
}

// Adds one vertex of the current shape: object position and normal.
std::uint32_t emitVertex(Vec3 p, Vec3 n, const NormalMatrix &normals) {
    State &s = gl();
    const Vec4 eye = transform(s.modelview.back(), {p.x, p.y, p.z, 1.0f});
    const Vec4 clip = transform(s.projection.back(), eye);
    float colour[4];
    const float w = eye.w != 0.0f ? eye.w : 1.0f;
    lightVertex({eye.x / w, eye.y / w, eye.z / w}, normals.apply(n), colour);
    const auto index = static_cast<std::uint32_t>(s.vertices.size() / 8);
    s.vertices.insert(s.vertices.end(),
                      {clip.x, clip.y, clip.z, clip.w, colour[0], colour[1], colour[2], colour[3]});
    return index;
}

// A grid of rows x columns vertices (already emitted from first on, row by
// row) joined into triangles, two per cell.
void joinGrid(std::uint32_t first, int rows, int columns) {
    std::vector<std::uint32_t> &idx = gl().indices;
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            const std::uint32_t a = first + static_cast<std::uint32_t>(r * columns + c);
            const std::uint32_t b = a + 1;
            const std::uint32_t d = a + static_cast<std::uint32_t>(columns);
            const std::uint32_t e = d + 1;
            idx.insert(idx.end(), {a, b, e, a, e, d});
        }
}

constexpr double kPi = 3.14159265358979323846;

} // namespace

namespace arrowsong::web {

const Frame &lastFrame() {
    return gl().frame;
}

const Handlers &handlers() {
    return gl().handlers;
}

bool takeRedisplay() {
    const bool was = gl().redisplay;
    gl().redisplay = false;
    return was;
}

WindowWish takeWindowWish() {
    const WindowWish wish = gl().wish;
    gl().wish = {};
    return wish;
}

} // namespace arrowsong::web

extern "C" {

// --- GL: state ---

void glEnable(GLenum cap) {
    State &s = gl();
    switch (cap) {
    case GL_LIGHTING:
        s.lighting = true;
        break;
    case GL_LIGHT0:
        s.light0 = true;
        break;
    case GL_COLOR_MATERIAL:
        s.colourMaterial = true;
        trackColour();
        break;
    case GL_DEPTH_TEST:
        s.depthTest = true;
        break;
    case GL_BLEND:
        s.blend = true;
        break;
    default:
        break;
    }
}

void glDisable(GLenum cap) {
    State &s = gl();
    switch (cap) {
    case GL_LIGHTING:
        s.lighting = false;
        break;
    case GL_LIGHT0:
        s.light0 = false;
        break;
    case GL_COLOR_MATERIAL:
        s.colourMaterial = false;
        break;
    case GL_DEPTH_TEST:
        s.depthTest = false;
        break;
    case GL_BLEND:
        s.blend = false;
        break;
    default:
        break;
    }
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    float *c = gl().clearColour;
    c[0] = red;
    c[1] = green;
    c[2] = blue;
    c[3] = alpha;
}

// Smooth shading, counter-clockwise front faces, filled polygons and
// source-alpha blending are what the page draws with; line widths matter
// only for lines, and the scene draws none.
void glShadeModel(GLenum) {}
void glFrontFace(GLenum) {}
void glPolygonMode(GLenum, GLenum) {}
void glBlendFunc(GLenum, GLenum) {}
void glLineWidth(GLfloat) {}
void glFlush() {}

void glMaterialfv(GLenum face, GLenum pname, const GLfloat *params) {
    if (face != GL_FRONT && face != GL_FRONT_AND_BACK)
        return;
    Material &m = gl().material;
    switch (pname) {
    case GL_AMBIENT:
        std::copy(params, params + 4, m.ambient);
        break;
    case GL_DIFFUSE:
        std::copy(params, params + 4, m.diffuse);
        break;
    case GL_AMBIENT_AND_DIFFUSE:
        std::copy(params, params + 4, m.ambient);
        std::copy(params, params + 4, m.diffuse);
        break;
    case GL_SPECULAR:
        std::copy(params, params + 4, m.specular);
        break;
    case GL_EMISSION:
        std::copy(params, params + 4, m.emission);
        break;
    case GL_SHININESS:
        m.shininess = params[0];
        break;
    default:
        break;
    }
    // Colour material keeps ambient and diffuse on the current colour.
    trackColour();
}

void glLightfv(GLenum light, GLenum pname, const GLfloat *params) {
    if (light != GL_LIGHT0)
        return;
    Light &l = gl().light;
    switch (pname) {
    case GL_AMBIENT:
        std::copy(params, params + 4, l.ambient);
        break;
    case GL_DIFFUSE:
        std::copy(params, params + 4, l.diffuse);
        break;
    case GL_SPECULAR:
        std::copy(params, params + 4, l.specular);
        break;
    case GL_POSITION: {
        const Vec4 eye =
            transform(gl().modelview.back(), {params[0], params[1], params[2], params[3]});
        l.position[0] = eye.x;
        l.position[1] = eye.y;
        l.position[2] = eye.z;
        l.position[3] = eye.w;
        break;
    }
    default:
        // The spot direction has no effect at a cutoff of 180, the only
        // cutoff the scene sets.
        break;
    }
}

void glLightf(GLenum, GLenum, GLfloat) {}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    float *c = gl().colour;
    c[0] = red;
    c[1] = green;
    c[2] = blue;
    c[3] = 1.0f;
    trackColour();
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    int *v = gl().viewport;
    v[0] = x;
    v[1] = y;
    v[2] = width;
    v[3] = height;
}

// --- GL: matrices ---

void glMatrixMode(GLenum mode) {
    gl().matrixMode = mode;
}

void glLoadIdentity() {
    current() = Mat4::identity();
}

void glPushMatrix() {
    std::vector<Mat4> &stack = currentStack();
    if (stack.size() < 32)
        stack.push_back(stack.back());
}

void glPopMatrix() {
    std::vector<Mat4> &stack = currentStack();
    if (stack.size() > 1)
        stack.pop_back();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Mat4 t = Mat4::identity();
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    multiplyCurrent(t);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    const Vec3 a = normalised({x, y, z});
    const float radians = angle * static_cast<float>(kPi) / 180.0f;
    const float c = std::cos(radians), s = std::sin(radians), t = 1.0f - c;
    Mat4 r = Mat4::identity();
    r.m[0] = t * a.x * a.x + c;
    r.m[1] = t * a.x * a.y + s * a.z;
    r.m[2] = t * a.x * a.z - s * a.y;
    r.m[4] = t * a.x * a.y - s * a.z;
    r.m[5] = t * a.y * a.y + c;
    r.m[6] = t * a.y * a.z + s * a.x;
    r.m[8] = t * a.x * a.z + s * a.y;
    r.m[9] = t * a.y * a.z - s * a.x;
    r.m[10] = t * a.z * a.z + c;
    multiplyCurrent(r);
}

// --- GL: drawing ---

void glClear(GLbitfield) {
    State &s = gl();
    s.vertices.clear();
    s.indices.clear();
    s.runs.clear();
}

// The raster position is a vertex: transformed, clipped (outside the view it
// is invalid and the text at it is not drawn) and lit with the current normal
// and colour. Its lighting takes the light's direction from the position as
// given, before the modelview, as the desktop's GL (Mesa) does: every line of
// text then has the same shade.
void glRasterPos2f(GLfloat x, GLfloat y) {
    State &s = gl();
    TextRun run;
    const Vec4 eye = transform(s.modelview.back(), {x, y, 0.0f, 1.0f});
    const Vec4 clip = transform(s.projection.back(), eye);
    run.valid = clip.w > 0.0f && std::fabs(clip.x) <= clip.w && std::fabs(clip.y) <= clip.w &&
                std::fabs(clip.z) <= clip.w;
    if (run.valid) {
        run.x = static_cast<float>(s.viewport[0]) +
                (clip.x / clip.w + 1.0f) * 0.5f * static_cast<float>(s.viewport[2]);
        run.y = static_cast<float>(s.viewport[1]) +
                (clip.y / clip.w + 1.0f) * 0.5f * static_cast<float>(s.viewport[3]);
        lightVertex({x, y, 0.0f}, normalMatrix(s.modelview.back()).apply(s.normal), run.colour);
    }
    s.runs.push_back(run);
}

} // extern "C"

// --- GLU ---

GLUquadric *gluNewQuadric() {
    return new GLUquadric;
}

void gluDeleteQuadric(GLUquadric *quadric) {
    delete quadric;
}

// Filled, smooth normals facing outward: the disk in z = 0 facing +z, loops
// rings from the inner to the outer radius.
void gluDisk(GLUquadric *, GLdouble inner, GLdouble outer, GLint slices, GLint loops) {
    if (slices < 2 || loops < 1)
        return;
    State &s = gl();
    s.normal = {0, 0, 1};
    const NormalMatrix normals = normalMatrix(s.modelview.back());
    const auto first = static_cast<std::uint32_t>(s.vertices.size() / 8);
    for (int l = 0; l <= loops; ++l) {
        const double radius = inner + (outer - inner) * l / loops;
        for (int i = 0; i <= slices; ++i) {
            const double angle = 2.0 * kPi * i / slices;
            emitVertex({static_cast<float>(radius * std::sin(angle)),
                        static_cast<float>(radius * std::cos(angle)), 0.0f},
                       s.normal, normals);
        }
    }
    joinGrid(first, loops + 1, slices + 1);
}

// Along +z from the base radius at z = 0 to the top radius at the height,
// its normals tilted by the slope.
void gluCylinder(GLUquadric *, GLdouble base, GLdouble top, GLdouble height, GLint slices,
                 GLint stacks) {
    if (slices < 2 || stacks < 1)
        return;
    State &s = gl();
    const NormalMatrix normals = normalMatrix(s.modelview.back());
    const double slope = base - top;
    const double length = std::sqrt(height * height + slope * slope);
    const auto first = static_cast<std::uint32_t>(s.vertices.size() / 8);
    Vec3 n{0, 0, 1};
    for (int k = 0; k <= stacks; ++k) {
        const double z = height * k / stacks;
        const double radius = base + (top - base) * k / stacks;
        for (int i = 0; i <= slices; ++i) {
            const double angle = 2.0 * kPi * i / slices;
            const double sx = std::sin(angle), cy = std::cos(angle);
            n = {static_cast<float>(sx * height / length), static_cast<float>(cy * height / length),
                 static_cast<float>(slope / length)};
            emitVertex({static_cast<float>(radius * sx), static_cast<float>(radius * cy),
                        static_cast<float>(z)},
                       n, normals);
        }
    }
    s.normal = n;
    joinGrid(first, stacks + 1, slices + 1);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double f = 1.0 / std::tan(fovy * kPi / 360.0);
    Mat4 p{};
    p.m[0] = static_cast<float>(f / aspect);
    p.m[5] = static_cast<float>(f);
    p.m[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    p.m[11] = -1.0f;
    p.m[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
    multiplyCurrent(p);
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
               GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    Vec3 f = normalised({static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                         static_cast<float>(centreZ - eyeZ)});
    const Vec3 up{static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    const Vec3 side =
        normalised({f.y * up.z - f.z * up.y, f.z * up.x - f.x * up.z, f.x * up.y - f.y * up.x});
    const Vec3 u{side.y * f.z - side.z * f.y, side.z * f.x - side.x * f.z,
                 side.x * f.y - side.y * f.x};
    Mat4 m = Mat4::identity();
    m.m[0] = side.x;
    m.m[4] = side.y;
    m.m[8] = side.z;
    m.m[1] = u.x;
    m.m[5] = u.y;
    m.m[9] = u.z;
    m.m[2] = -f.x;
    m.m[6] = -f.y;
    m.m[10] = -f.z;
    multiplyCurrent(m);
    glTranslatef(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

// --- GLUT ---

extern "C" {

void glutInit(int *, char **) {}
void glutInitDisplayMode(unsigned int) {}
void glutInitWindowSize(int, int) {}
void glutInitWindowPosition(int, int) {}

int glutCreateWindow(const char *) {
    return 1;
}

void glutIdleFunc(void (*callback)()) {
    gl().handlers.idle = callback;
}

void glutDisplayFunc(void (*callback)()) {
    gl().handlers.display = callback;
}

void glutReshapeFunc(void (*callback)(int, int)) {
    gl().handlers.reshape = callback;
}

void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
    gl().handlers.keyboard = callback;
}

void glutMouseFunc(void (*callback)(int, int, int, int)) {
    gl().handlers.mouse = callback;
}

void glutPostRedisplay() {
    gl().redisplay = true;
}

void glutFullScreen() {
    gl().wish.fullScreen = true;
}

void glutReshapeWindow(int width, int height) {
    WindowWish &wish = gl().wish;
    wish.fullScreen = false;
    wish.resize = true;
    wish.width = width;
    wish.height = height;
}

// The 9 by 15 font advances 9 pixels a character; the page draws the glyphs.
void glutBitmapCharacter(void *, int character) {
    State &s = gl();
    if (s.runs.empty() || !s.runs.back().valid)
        return;
    s.runs.back().text.push_back(static_cast<char>(character));
}

// The frame is finished: it becomes the one the page shows.
void glutSwapBuffers() {
    State &s = gl();
    // The triangles join the same vertices from frame to frame as long as
    // the same shapes are drawn; the page uploads them only when they change.
    const bool sameIndices = s.indices == s.shownIndices;
    s.shownVertices.swap(s.vertices);
    s.shownIndices.swap(s.indices);
    s.shownText.clear();
    char line[96];
    const float height = static_cast<float>(s.viewport[1] + s.viewport[3]);
    for (const TextRun &run : s.runs) {
        if (!run.valid || run.text.empty())
            continue;
        std::snprintf(line, sizeof line, "%.2f\t%.2f\t%.4f\t%.4f\t%.4f\t",
                      static_cast<double>(run.x), static_cast<double>(height - run.y),
                      static_cast<double>(run.colour[0]), static_cast<double>(run.colour[1]),
                      static_cast<double>(run.colour[2]));
        s.shownText += line;
        s.shownText += run.text;
        s.shownText += '\n';
    }
    Frame &f = s.frame;
    f.vertices = s.shownVertices.data();
    f.vertexCount = static_cast<std::uint32_t>(s.shownVertices.size() / 8);
    f.indices = s.shownIndices.data();
    f.indexCount = static_cast<std::uint32_t>(s.shownIndices.size());
    f.indicesChanged = !sameIndices;
    f.text = s.shownText.c_str();
    std::copy(s.viewport, s.viewport + 4, f.viewport);
    std::copy(s.clearColour, s.clearColour + 4, f.clearColour);
    f.depthTest = s.depthTest;
    f.blend = s.blend;
    s.vertices.clear();
    s.indices.clear();
    s.runs.clear();
}

} // extern "C"
