// The scene of one frame: the two corner disks, the instruction text, the
// arrow and the six-disk target board. Called with the camera in place.
#pragma once

// Draws the scene; step is the frame's time step in seconds.
void drawBoard(double step);

// One filled disk of the given colour and radius at the current origin,
// facing +z. Leaves the matrix unchanged.
void drawBoardCircle(double red, double green, double blue, double radius);

// One line of white 9 by 15 bitmap text starting 0.2 right of the origin.
void draw_text(const char *line);
