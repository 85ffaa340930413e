// The keyboard, mouse and idle handlers that drive the game. They only turn
// events into game state; what they ask of the window goes through
// WindowRequests, which the window code installs when it registers them, so
// the game does not depend on the windowing toolkit.
#pragma once

// The windowing toolkit's codes for the mouse buttons and their states, as
// mouseFunc receives them. Named here so that the game and the programs that
// drive its handlers need no toolkit header; the window code checks them
// against the toolkit's own values.
constexpr int kLeftButton = 0;
constexpr int kMiddleButton = 1;
constexpr int kRightButton = 2;
constexpr int kButtonDown = 0;
constexpr int kButtonUp = 1;

struct WindowRequests {
    void (*redisplay)();                         // draw another frame
    void (*fullScreen)();                        // switch the window to full screen
    void (*resizeWindow)(int width, int height); // ask for a new window size
    void (*reshapeView)(int width, int height);  // rebuild viewport and camera
};

// Installs the window's side of the handlers. Until then each request does
// nothing. A null member also does nothing.
void setWindowRequests(const WindowRequests &requests);

// Space: start a goal tone, or stop it and clear the shot. l / ;: start and
// stop listening by hand. z x c v n m , .: test shots from flattest to
// sharpest. b: shoot at the present offsets. /: reset. f: full screen.
// r: restore the last reported window size. q: quit with status 0.
void keyboardFunc(unsigned char key, int x, int y);

// Left and right buttons: pressed starts listening; released stops tone and
// listening and judges the round. Other buttons are ignored.
void mouseFunc(int button, int state, int x, int y);

// Keeps frames coming: requests a redisplay, after reporting any trouble the
// audio stream has had since the last frame.
void idleFunc();
