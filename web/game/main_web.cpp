// Arrowsong in the browser, main thread: the game's state, rules, controls,
// window and scene, compiled from the desktop's sources. The page turns its
// events into calls of the functions exported here, and draws each frame that
// the scene leaves (gl_web.h). The audio block runs in an AudioWorklet of its
// own (audio_web.cpp); the few values the two share travel as messages, which
// the page carries: the tone, its frequency and listening go out after each
// event, and the worklet's pitch entries come back before a release is judged.
#include <GL/glut.h>
#include <emscripten/emscripten.h>

#include <game/audio.h>
#include <game/controls.h>
#include <game/state.h>
#include <render/window.h>

#include "gl_web.h"

using arrowsong::web::handlers;
using arrowsong::web::lastFrame;

// The desktop's stream upkeep, as the browser has it: the page reports the
// audio's trouble itself, and a worklet has no input that could fall behind
// the clock.
void audioUpkeep() {}

int main(int argc, char **argv) {
    glutInit(&argc, argv);
    initGfx();
    // The canvas is the window; its first size is reported as a reshape.
    if (handlers().reshape != nullptr)
        handlers().reshape(w_width, w_height);
    return 0;
}

extern "C" {

EMSCRIPTEN_KEEPALIVE void web_key(int key) {
    if (handlers().keyboard != nullptr)
        handlers().keyboard(static_cast<unsigned char>(key), 0, 0);
}

EMSCRIPTEN_KEEPALIVE void web_mouse(int button, int state) {
    if (handlers().mouse != nullptr)
        handlers().mouse(button, state, 0, 0);
}

EMSCRIPTEN_KEEPALIVE void web_reshape(int width, int height) {
    if (handlers().reshape != nullptr)
        handlers().reshape(width, height);
}

// One turn of the event loop: the idle handler, then a frame if one was
// asked for. Returns 1 when a new frame is ready.
EMSCRIPTEN_KEEPALIVE int web_turn() {
    if (handlers().idle != nullptr)
        handlers().idle();
    if (!arrowsong::web::takeRedisplay() || handlers().display == nullptr)
        return 0;
    handlers().display();
    return 1;
}

// The last frame, for the page's WebGL and text.
EMSCRIPTEN_KEEPALIVE const float *web_vertices() {
    return lastFrame().vertices;
}
EMSCRIPTEN_KEEPALIVE unsigned web_vertex_count() {
    return lastFrame().vertexCount;
}
EMSCRIPTEN_KEEPALIVE const unsigned *web_indices() {
    return lastFrame().indices;
}
EMSCRIPTEN_KEEPALIVE unsigned web_index_count() {
    return lastFrame().indexCount;
}
EMSCRIPTEN_KEEPALIVE int web_indices_changed() {
    return lastFrame().indicesChanged ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE const char *web_text() {
    return lastFrame().text;
}
EMSCRIPTEN_KEEPALIVE const int *web_viewport() {
    return lastFrame().viewport;
}
EMSCRIPTEN_KEEPALIVE const float *web_clear_colour() {
    return lastFrame().clearColour;
}
EMSCRIPTEN_KEEPALIVE int web_depth_test() {
    return lastFrame().depthTest ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int web_blend() {
    return lastFrame().blend ? 1 : 0;
}

// What the handlers asked of the window since the last call: 0 nothing,
// 1 full screen, 2 a size (web_wish_width, web_wish_height).
static arrowsong::web::WindowWish wish;
EMSCRIPTEN_KEEPALIVE int web_take_wish() {
    wish = arrowsong::web::takeWindowWish();
    if (wish.resize)
        return 2;
    return wish.fullScreen ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int web_wish_width() {
    return wish.width;
}
EMSCRIPTEN_KEEPALIVE int web_wish_height() {
    return wish.height;
}

// The values the audio block reads, as the handlers left them.
EMSCRIPTEN_KEEPALIVE int web_tone() {
    return gen_sine.load(std::memory_order_relaxed) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE double web_freq() {
    return g_freq.load(std::memory_order_relaxed);
}
EMSCRIPTEN_KEEPALIVE int web_listen() {
    return pitch_listen.load(std::memory_order_relaxed) ? 1 : 0;
}
// The reset request goes to the worklet once.
EMSCRIPTEN_KEEPALIVE int web_take_reset() {
    return tracker_reset.exchange(false, std::memory_order_relaxed) ? 1 : 0;
}

// The worklet's pitch entries are stored here before a release is judged.
EMSCRIPTEN_KEEPALIVE void web_set_pitch(unsigned i, double pitch) {
    if (i < kPitchFrames)
        pitchArray[i].store(pitch, std::memory_order_relaxed);
}

} // extern "C"
