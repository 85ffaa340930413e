#include "notes.h"

#include <util/XFun.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace pitchtrack {
namespace {

const char *const kSharpNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                     "F#", "G",  "G#", "A",  "A#", "B"};

// Semitones above C of the natural notes A to G.
int letterStep(char letter) {
    static const int steps[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    return upper >= 'A' && upper <= 'G' ? steps[upper - 'A'] : -1;
}

bool allDigits(const std::string &text, std::size_t from) {
    if (from >= text.size() || text.size() - from > 3)
        return false;
    for (std::size_t i = from; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

} // namespace

bool parseNote(const std::string &text, int &note) {
    int value = -1;
    if (allDigits(text, 0)) {
        value = std::atoi(text.c_str());
    } else if (!text.empty() && letterStep(text[0]) >= 0) {
        std::size_t at = 1;
        int step = letterStep(text[0]);
        if (at < text.size() && (text[at] == '#' || text[at] == 'b')) {
            step += text[at] == '#' ? 1 : -1;
            ++at;
        }
        if (!allDigits(text, at))
            return false;
        value = 12 * std::atoi(text.c_str() + at) + step;
    }
    if (value < 0 || value > 127)
        return false;
    note = value;
    return true;
}

std::string noteName(int note) {
    const int octave = note >= 0 ? note / 12 : -((11 - note) / 12);
    return kSharpNames[note - 12 * octave] + std::to_string(octave);
}

NearestNote nearestNote(double hz) {
    const double number = XFun::freq2midi(hz);
    const double nearest = std::round(number);
    return {static_cast<int>(nearest), static_cast<int>(std::lround(100.0 * (number - nearest)))};
}

} // namespace pitchtrack
