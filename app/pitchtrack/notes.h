// Note names on the game's scale: 12 equal steps per octave, note 57 is A4 at
// 440 Hz, so C4 (261.63 Hz) is note 48 and A3 (220 Hz) is note 45.
#ifndef PITCHTRACK_NOTES_H
#define PITCHTRACK_NOTES_H

#include <string>

namespace pitchtrack {

// Reads a note for the judge: a whole number from 0 to 127, or a name such as
// G3, F#4 or Bb3 (letter A to G in either case, at most one sharp or flat,
// octave 0 to 10) that lands in that range. False for anything else.
bool parseNote(const std::string &text, int &note);

// The name with sharps: 45 is "A3", 49 is "C#4". Negative numbers count below
// C0 ("B-1" for -1).
std::string noteName(int note);

// The note nearest to a frequency, and the signed whole cents from it to the
// frequency (-50 to 50).
struct NearestNote {
    int note;
    int cents;
};
NearestNote nearestNote(double hz);

} // namespace pitchtrack

#endif
