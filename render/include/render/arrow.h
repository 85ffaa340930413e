// The arrow's flight: a restart from near the viewer when a shot is fired,
// then a glide towards the landing point on the board, one step per frame.
#pragma once

#include <util/Vector3D.h>

// The arrow's position as slewed coordinates; at rest at the origin at load.
extern iSlew3D arrow;

// Draws the arrow where it is, then advances the flight by step seconds. On
// arrow_move it first restarts the flight towards (x, y, 0) and clears the
// flag. Leaves its translation and rotation on the matrix for the caller.
void moveArrow(double x, double y, double step);

// The time step the flight advances by: step, capped at 1/6 s (where one
// step lands the arrow) so that a stalled frame cannot throw it past the
// board, and never negative.
float arrowStep(double step);
