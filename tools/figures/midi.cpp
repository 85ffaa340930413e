#include "midi.h"

#include <cctype>
#include <stdexcept>

namespace figures {

std::string noteMidiFile(int program, int midiNote, int seconds) {
    if (program < 0 || program > 127 || midiNote < 0 || midiNote > 127 || seconds < 1 ||
        seconds > 16)
        throw std::invalid_argument("a MIDI program or note outside 0..127, or a length outside "
                                    "1..16 s");
    // Two bytes of variable-length delta time hold up to 16383 ticks: 17 s.
    const int ticks = seconds * 960;
    const auto byte = [](int b) { return static_cast<char>(b); };
    std::string track = {byte(0x00),
                         byte(0xc0),
                         byte(program), // program
                         byte(0x00),
                         byte(0x90),
                         byte(midiNote),
                         byte(0x64), // note-on
                         byte((ticks >> 7) | 0x80),
                         byte(ticks & 0x7f), // held
                         byte(0x80),
                         byte(midiNote),
                         byte(0x40), // note-off
                         byte(0x00),
                         byte(0xff),
                         byte(0x2f),
                         byte(0x00)}; // end
    std::string file = std::string("MThd") + std::string{0, 0, 0, 6, 0, 0, 0, 1, 1, byte(0xe0)} +
                       "MTrk" + std::string{0, 0, 0, byte(track.size())};
    return file + track;
}

std::string soundSlug(const std::string &sound) {
    std::string out;
    for (char c : sound)
        out += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace figures
