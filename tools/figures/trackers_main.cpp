// figures-trackers: runs ours (windows of 512, 1024 and 2048 samples) and
// aubio's four methods over every file of the datasheet with a hop of 512
// samples, and times their library calls.
//
//   figures-trackers LIST PITCHES SPEED SLOWEST [REPEATS]
//
// LIST names one 44100 Hz sound file per line. Out come one line per tracker
// and window (file, tracker, window centre in seconds, Hz, 0 for no pitch),
// one line per tracker with the samples it read and the time its calls took,
// and our slowest 512-sample window. Each file's calls are timed REPEATS
// times (default 3) and the quickest kept; each of our windows 2 REPEATS + 1
// times for the slowest window.
#include "measure.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void run(const std::string &list, std::ofstream &pitches, std::ofstream &speed,
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
    const int repeats = argc == 6 ? std::atoi(argv[5]) : 3;
    if (argc < 5 || argc > 6 || repeats < 1 || repeats > 100) {
        std::cerr << "usage: figures-trackers LIST PITCHES SPEED SLOWEST [REPEATS]\n";
        return 2;
    }
    std::ofstream pitches(argv[2]), speed(argv[3]), slowest(argv[4]);
    try {
        run(argv[1], pitches, speed, slowest, repeats);
        if (!pitches.flush() || !speed.flush() || !slowest.flush())
            throw std::runtime_error("cannot write the output tables");
    } catch (const std::exception &e) {
        std::cerr << "figures-trackers: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
