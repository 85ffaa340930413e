#include "game/state.h"

std::atomic<double> g_freq{440.0};
std::atomic<bool> gen_sine{false};
std::atomic<bool> pitch_listen{false};
std::atomic<bool> tracker_reset{false};
std::atomic<double> pitchArray[kPitchFrames] = {};

double g_t = 0.0;
_dywapitchtracker pitchtracker = {0.0, 0};
int start = 0;

bool stop_sound = false;
double average = 0.0;
unsigned bufferSize = kPitchFrames;
float HI = -0.5f;
float LO = 0.5f;
double x_adj = 0.0;
double y_adj = 0.0;
bool arrow_move = false;
int w_width = 800;
int w_height = 800;
