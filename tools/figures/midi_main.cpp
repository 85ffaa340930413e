// figures-midi: writes the MIDI file of every note the figures render, and
// the manifest figures-accuracy reads (sound, game note, sound file, note-off).
//
//   figures-midi --dir DIR --manifest FILE --seconds N --notes "36 47 57"
//                "Choir Aahs:52" ...
// Each sound is a name and a General MIDI program (0-based); its notes go to
// DIR/<slug>-<note>.mid, and the manifest names DIR/<slug>-<note>.wav, which
// the caller renders from it.
#include "midi.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int number(const std::string &text, const char *what) {
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < -1000 || n > 1000)
        throw std::invalid_argument(std::string("not a whole number for ") + what + ": " + text);
    return static_cast<int>(n);
}

void writeAll(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error(path + ": cannot write");
}

int usage(std::ostream &out, int status) {
    out << "usage: figures-midi --dir DIR --manifest FILE --seconds N --notes \"N N ...\" "
           "NAME:PROGRAM...\n"
           "  Writes one MIDI file per sound and game note (57 = 440 Hz) and the manifest.\n";
    return status;
}

} // namespace

int main(int argc, char **argv) {
    std::string dir, manifestPath, notesText, secondsText;
    std::vector<std::string> sounds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return usage(std::cout, 0);
        std::string *value = arg == "--dir"        ? &dir
                             : arg == "--manifest" ? &manifestPath
                             : arg == "--notes"    ? &notesText
                             : arg == "--seconds"  ? &secondsText
                                                   : nullptr;
        if (!value) {
            if (arg.rfind("--", 0) == 0)
                return usage(std::cerr, 2);
            sounds.push_back(arg);
        } else if (i + 1 < argc) {
            *value = argv[++i];
        } else {
            return usage(std::cerr, 2);
        }
    }
    if (dir.empty() || manifestPath.empty() || notesText.empty() || secondsText.empty() ||
        sounds.empty())
        return usage(std::cerr, 2);
    try {
        const int seconds = number(secondsText, "--seconds");
        std::vector<int> notes;
        std::istringstream words(notesText);
        for (std::string word; words >> word;)
            notes.push_back(number(word, "--notes"));
        std::ostringstream manifest;
        for (const std::string &entry : sounds) {
            const std::size_t colon = entry.rfind(':');
            if (colon == std::string::npos || colon == 0)
                throw std::invalid_argument("a sound is NAME:PROGRAM, not " + entry);
            const std::string sound = entry.substr(0, colon);
            const int program = number(entry.substr(colon + 1), sound.c_str());
            std::cerr << "[figures] rendering " << notes.size() << " notes of " << sound
                      << " (General MIDI program " << program + 1 << ")\n";
            for (int note : notes) {
                const std::string base =
                    dir + "/" + figures::soundSlug(sound) + "-" + std::to_string(note);
                // The game's note 57 is 440 Hz, MIDI's 69: game notes are MIDI notes - 12.
                writeAll(base + ".mid", figures::noteMidiFile(program, note + 12, seconds));
                manifest << sound << '\t' << note << '\t' << base << ".wav\t" << seconds << '\n';
            }
        }
        writeAll(manifestPath, manifest.str());
    } catch (const std::exception &e) {
        std::cerr << "figures-midi: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
