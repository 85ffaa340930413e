// figures-measure: the measurements that play the game or time code.
//
//   figures-measure rounds MANIFEST NOTES
// Plays a round of the game on each note of the manifest (sound, game note,
// 44100 Hz file, note-off in seconds), through the game library, from the
// note's onset to its note-off; NOTES gets its onset window, the windows up to
// the note-off, and the round judged there and as if released after every
// block from 0.5 s on (the game prints its judgement lines as it always does).
//
//   figures-measure trackers LIST PITCHES SPEED SLOWEST [REPEATS]
// Runs ours (windows of 512, 1024 and 2048 samples) and aubio's four methods
// with a hop of 512 over every file LIST names: each window's centre and pitch,
// each tracker's samples and time (the quickest of REPEATS passes per file,
// default 3), and our slowest window (the quickest of 2 REPEATS + 1 each).
#include "measure.h"
#include "round_sim.h"

#include <util/XFun.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

void rounds(const std::string &manifestPath, std::ofstream &notes) {
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

void trackers(const std::string &list, std::ofstream &pitches, std::ofstream &speed,
              std::ofstream &slowest, int repeats) {
    std::ifstream files(list);
    if (!files)
        throw std::runtime_error(list + ": cannot read the list of files");
    pitches << "#file\ttracker\ttime_s\thz\n";
    std::map<std::string, double> nanoseconds;
    double samples = 0.0;
    figures::SlowestWindow worst;
    std::string worstFile;
    char text[64];
    for (std::string file; std::getline(files, file);) {
        if (file.empty())
            continue;
        const std::vector<double> audio = figures::readMono44100(file);
        samples += static_cast<double>(audio.size());
        for (const std::string &tracker : figures::libraryTrackers()) {
            figures::LibraryRun first = figures::runLibraryTracker(tracker, audio);
            for (int r = 1; r < repeats; ++r)
                first.nanoseconds = std::min(
                    first.nanoseconds, figures::runLibraryTracker(tracker, audio).nanoseconds);
            nanoseconds[tracker] += first.nanoseconds;
            for (std::size_t w = 0; w < first.hz.size(); ++w) {
                std::snprintf(text, sizeof text, "%.6f\t%.4f", first.timeS[w], first.hz[w]);
                pitches << file << '\t' << tracker << '\t' << text << '\n';
            }
        }
        // The slowest window is one maximum over many: more passes keep a
        // single interruption from standing for it.
        const figures::SlowestWindow slow = figures::slowestWindow(audio, 2 * repeats + 1);
        if (slow.nanoseconds > worst.nanoseconds)
            worst = slow, worstFile = file;
    }
    speed << "#tracker\tsamples\tnanoseconds\tpasses\n";
    for (const std::string &tracker : figures::libraryTrackers()) {
        std::snprintf(text, sizeof text, "\t%.0f\t%.0f\t%d\n", samples, nanoseconds[tracker],
                      repeats);
        speed << tracker << text;
    }
    slowest << "#file\twindow\tnanoseconds\n"
            << worstFile << '\t' << worst.window << '\t' << worst.nanoseconds << '\n';
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int repeats = argc == 7 ? std::atoi(argv[6]) : 3;
    if (!(mode == "rounds" && argc == 4) &&
        !(mode == "trackers" && argc >= 6 && argc <= 7 && repeats >= 1 && repeats <= 100)) {
        std::cerr << "usage: figures-measure rounds MANIFEST NOTES\n"
                     "       figures-measure trackers LIST PITCHES SPEED SLOWEST [REPEATS]\n";
        return 2;
    }
    std::vector<std::ofstream> out;
    for (int i = 3; i < argc && i < 6; ++i)
        out.emplace_back(argv[i]);
    try {
        if (mode == "rounds")
            rounds(argv[2], out[0]);
        else
            trackers(argv[2], out[0], out[1], out[2], repeats);
        for (std::ofstream &table : out)
            if (!table.flush())
                throw std::runtime_error("cannot write the output tables");
    } catch (const std::exception &e) {
        std::cerr << "figures-measure: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
