// A real GLUT window on a private X server, created by initGfx as the game
// does, with helpers to pump its events and read back a frame.
#pragma once

#include <vector>

#include <GL/glu.h>

struct Pixel {
    int r, g, b;
};

// Starts the X server and the window once per test program.
void startWindowOnce();

// Lets GLUT handle what is pending (map, reshape, resize requests).
void pumpEvents(int rounds = 20);

// Draws one frame with displayFunc and takes a screenshot of the window.
std::vector<unsigned char> drawAndRead();

// The pixel of the last read frame at window position (x, y), y downwards.
Pixel pixelAt(const std::vector<unsigned char> &frame, int x, int y);

// Where a world point lands in the window (x right, y down), under the
// doubled camera transform each frame draws with.
void projectToWindow(double wx, double wy, double wz, int &x, int &y);
