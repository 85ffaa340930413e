// The program's window: GL state, light and material, projection and camera,
// and the frame loop with its measured time step. Main thread only.
#pragma once

#include <cstdint>

#include <sys/time.h>

#include <util/Vector3D.h>

// Camera: eye, centre and up, fixed at load.
extern point lookFrom;
extern point lookTo;
extern point headUp;

// Frame clock: the time of day taken at the start of each frame, and the
// start of the previous frame in microseconds since the epoch (-1 before the
// first frame).
extern timeval timer;
extern std::int64_t time_now;

// Creates the 800 by 800 window "Arrowsong", registers the display, reshape,
// idle, keyboard and mouse handlers, sets the fixed GL state, the light and
// the material, and seeds rand() from the clock. Needs glutInit first.
void initGfx();

// Stores the new size, sets the viewport, a 40 degree perspective and the
// camera. A height of 0 is treated as 1 for the aspect ratio.
void reshapeFunc(int width, int height);

// Multiplies the current matrix by the look-at transform of the three points.
void changeView(point eye, point centre, point up);

// Draws one frame with the time since the previous frame's start.
void displayFunc();

// The frame itself, with the given time step in seconds: what displayFunc
// draws once it has measured the step. Touches no frame clock.
void drawFrame(double step);
