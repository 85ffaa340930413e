// The notes the figures render: one sustained note per type-0 MIDI file.
#pragma once

#include <string>

namespace figures {

// A type-0 MIDI file at 480 ticks per quarter and the default 120 bpm (960
// ticks a second): program change, the note at velocity 100 from 0 s to
// `seconds`, note-off, end of track. Throws std::invalid_argument for a
// program or note outside 0..127 or a length outside 1..16 s.
std::string noteMidiFile(int program, int midiNote, int seconds);

// "choir-aahs" for "Choir Aahs": the sound's name in file names.
std::string soundSlug(const std::string &sound);

} // namespace figures
