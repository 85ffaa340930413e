// The browser's side of the GL, GLU and GLUT calls that the scene code makes.
//
// The window code and the board are compiled unchanged; the calls they make
// land here. Matrices, lighting and the quadrics are done on the CPU as the
// fixed-function pipeline defines them (per-vertex lighting, one positional
// light, colour material), and each frame leaves behind what a page needs to
// show it: lit, clip-space vertices with indices for WebGL, and the text
// lines at their window positions for a 2D canvas over it. Main thread only.
#pragma once

#include <cstdint>

namespace arrowsong::web {

// One frame as glutSwapBuffers left it.
struct Frame {
    const float *vertices = nullptr; // x y z w r g b a, clip space, lit
    std::uint32_t vertexCount = 0;
    const std::uint32_t *indices = nullptr; // triangles
    std::uint32_t indexCount = 0;
    bool indicesChanged = true; // other indices than the frame before
    const char *text = nullptr; // one line per run: "x\ty\tr\tg\tb\ttext", window pixels, y down
    int viewport[4] = {0, 0, 0, 0};
    float clearColour[4] = {0, 0, 0, 0};
    bool depthTest = false;
    bool blend = false;
};

// The frame drawn last (empty before the first glutSwapBuffers).
const Frame &lastFrame();

// The handlers that the window code registered with GLUT.
struct Handlers {
    void (*idle)() = nullptr;
    void (*display)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*mouse)(int, int, int, int) = nullptr;
};
const Handlers &handlers();

// True once glutPostRedisplay was called since the last call; clears it.
bool takeRedisplay();

// What the window code asked of the page's window: full screen, or a size.
// Filled by glutFullScreen and glutReshapeWindow, taken by the page.
struct WindowWish {
    bool fullScreen = false;
    bool resize = false;
    int width = 0;
    int height = 0;
};
WindowWish takeWindowWish();

} // namespace arrowsong::web
