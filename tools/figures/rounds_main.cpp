// figures-rounds: plays one round of the game on each rendered note, through
// the game library itself, from the note's onset to its note-off.
//
//   figures-rounds MANIFEST NOTES
//
// The manifest has one note per line, tab-separated: sound name, game note
// (57 = 440 Hz), 44100 Hz sound file, note-off in seconds. NOTES gets one
// line per note: its onset window and the windows up to the note-off (512
// samples each), and the round judged at the note-off and as if released
// after every block from 0.5 s of singing on. The game prints its judgement
// lines on standard output for every release point, as it always does.
#include "measure.h"
#include "round_sim.h"

#include <util/XFun.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

void playNote(const std::string &sound, int note, const std::string &path, double noteOff,
              std::ostream &out) {
    const std::vector<double> samples = figures::readMono44100(path);
    // The goal as the game computes it when the space key draws this note.
    const double goal = XFun::midi2freq(static_cast<double>(note));
    const std::size_t count = figures::windowsBefore(samples, noteOff);
    const std::size_t onset = figures::onsetWindow(samples, count);
    // A round shorter than half a second is a stab, not a sung note.
    const std::size_t minHeld = figures::kRate / 2 / figures::kWindow;
    const figures::RoundResult round = figures::playRound(samples, onset, count, minHeld, goal);
    const figures::Judgement &last = round.atNoteOff;
    char text[256];
    std::snprintf(text, sizeof text, "\t%d\t%s\t%.6g\t%zu\t%zu\t%.6g\t%.6g\t%d\t%.6g\n", note,
                  path.c_str(), goal, onset, count, last.average, last.yAdj, last.bullseye ? 1 : 0,
                  100.0 * static_cast<double>(round.bullseyes) /
                      static_cast<double>(round.releases));
    out << sound << text;
}

void run(const std::string &manifestPath, std::ofstream &notes) {
    std::ifstream manifest(manifestPath);
    if (!manifest)
        throw std::runtime_error(manifestPath + ": cannot read the manifest");
    notes << "#sound\tnote\tfile\tgoal_hz\tonset_window\twindows\tround_avg_hz\ty_adj\tbullseye"
             "\trelease_bullseye_pct\n";
    std::string line;
    for (int number = 1; std::getline(manifest, line); ++number) {
        std::istringstream fields(line);
        std::string sound, note, path, off;
        if (!std::getline(fields, sound, '\t') || !std::getline(fields, note, '\t') ||
            !std::getline(fields, path, '\t') || !std::getline(fields, off, '\t'))
            throw std::runtime_error(manifestPath + ":" + std::to_string(number) +
                                     ": expected sound, note, file and note-off, tab-separated");
        playNote(sound, std::stoi(note), path, std::stod(off), notes);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: figures-rounds MANIFEST NOTES\n";
        return 2;
    }
    std::ofstream notes(argv[2]);
    try {
        run(argv[1], notes);
        if (!notes.flush())
            throw std::runtime_error(std::string(argv[2]) + ": cannot write");
    } catch (const std::exception &e) {
        std::cerr << "figures-rounds: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
