// Round rules: the sung average, its judgement against the goal in steps of
// a fifth of a semitone, and the horizontal landing place. Main thread only.
#pragma once

// Averages the pitchArray entries of one block (every entry counts, also
// those that never received a pitch) into average, prints "Goal frequency: "
// and "Your frequency average: " lines and returns the average.
double computePitchAverage();

// Draws x_adj from HI to LO with one rand() draw, in single precision, and
// returns it.
double generateRandom();

// Judges average against g_freq: outside two steps of the goal it redraws
// x_adj and sets y_adj to the band's height (sharp above the centre, flat
// below); within them both offsets stay. Always raises arrow_move.
void shootArrow(double sungAverage);
