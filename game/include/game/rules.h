// Round rules: the sung average, its judgement against the goal in steps of
// a fifth of a semitone, and the horizontal landing place. Main thread only.
#pragma once

// Averages the pitchArray entries of one block (every entry counts, also
// those that never received a pitch) into average, prints "Goal frequency: "
// and "Your frequency average: " lines and returns the average.
double computePitchAverage();

// Draws x_adj from HI to LO with one landing draw, in single precision, and
// returns it.
double generateRandom();

// The generator behind the landing offsets: rand()'s algorithm and range
// (0 to 2147483647), seeded from the clock at start-up. It keeps a state of
// its own because the C library's rand() and random() share one, and the goal
// notes drawn from random() must come out the same in every run.
void srandLanding(unsigned seed);
int randLanding();

// Judges average against g_freq: outside two steps of the goal it redraws
// x_adj and sets y_adj to the band's height (sharp above the centre, flat
// below); within them both offsets stay. Always raises arrow_move.
void shootArrow(double sungAverage);
