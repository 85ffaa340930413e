// figures-trackers: runs ours and aubio's four methods over every file of the
// datasheet, on the same 512-sample windows, and times their library calls.
//
//   figures-trackers --files FILE --pitches FILE --speed FILE --slowest FILE [--repeats N]
//
// The files table names the sound files in its "file" column. Out come one
// line per tracker and window (file, tracker, window centre in seconds, Hz,
// 0 for no pitch), one line per tracker with the samples it read and the
// time its calls took, and our slowest window.
#include "library_trackers.h"
#include "note_analysis.h"
#include "program.h"
#include "tables.h"

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

struct Options {
    std::string files, pitches, speed, slowest;
    int repeats = 3;
};

int usage(std::ostream &out, int status) {
    out << "usage: figures-trackers --files FILE --pitches FILE --speed FILE --slowest FILE "
           "[--repeats N]\n"
           "  Tracks every file of the table's \"file\" column with wavepitch and aubio's\n"
           "  yin, yinfast, yinfft and mcomb in 512-sample windows, hop 512. Each file's\n"
           "  calls are timed N times (default 3) and the quickest kept; each of our\n"
           "  windows 2N + 1 times for the slowest window.\n";
    return status;
}

// Returns the exit status to end with at once, or -1 to go on.
int parseOptions(int argc, char **argv, Options &opt) {
    const int status =
        figures::parseCommandLine(argc, argv, &usage, figures::noFlags,
                                  [&](const std::string &arg, const std::string &value) {
                                      if (arg == "--repeats") {
                                          opt.repeats = std::atoi(value.c_str());
                                          return opt.repeats >= 1 && opt.repeats <= 100;
                                      }
                                      std::string *text = arg == "--files"     ? &opt.files
                                                          : arg == "--pitches" ? &opt.pitches
                                                          : arg == "--speed"   ? &opt.speed
                                                          : arg == "--slowest" ? &opt.slowest
                                                                               : nullptr;
                                      if (text)
                                          *text = value;
                                      return text != nullptr;
                                  });
    if (status >= 0)
        return status;
    return opt.files.empty() || opt.pitches.empty() || opt.speed.empty() || opt.slowest.empty()
               ? usage(std::cerr, 2)
               : -1;
}

void run(const Options &opt) {
    const figures::Table files = figures::readTsv(opt.files);
    std::ofstream pitches(opt.pitches), speed(opt.speed), slowest(opt.slowest);
    if (!pitches || !speed || !slowest)
        throw std::runtime_error("cannot write the output tables");
    pitches << "#file\ttracker\ttime_s\thz\n";
    const std::vector<std::string> &trackers = figures::libraryTrackers();
    std::map<std::string, double> nanoseconds;
    double samples = 0.0;
    figures::SlowestWindow worst;
    std::string worstFile;
    char text[64];
    for (std::size_t row = 0; row < files.size(); ++row) {
        const std::string &file = files.text(row, "file");
        const std::vector<double> audio = figures::readMono44100(file);
        const std::size_t windows = audio.size() / figures::kWindow;
        samples += static_cast<double>(windows * figures::kWindow);
        for (const std::string &tracker : trackers) {
            figures::LibraryRun first = figures::runLibraryTracker(tracker, audio);
            for (int r = 1; r < opt.repeats; ++r)
                first.nanoseconds = std::min(
                    first.nanoseconds, figures::runLibraryTracker(tracker, audio).nanoseconds);
            nanoseconds[tracker] += first.nanoseconds;
            for (std::size_t w = 0; w < windows; ++w) {
                const double centre =
                    (static_cast<double>(w * figures::kWindow) + figures::kWindow / 2.0) /
                    figures::kRate;
                std::snprintf(text, sizeof text, "%.6f\t%.4f", centre, first.hz[w]);
                pitches << file << '\t' << tracker << '\t' << text << '\n';
            }
        }
        // The slowest window is one maximum over many: more passes keep a
        // single interruption from standing for it.
        const figures::SlowestWindow slow = figures::slowestWindow(audio, 2 * opt.repeats + 1);
        if (slow.nanoseconds > worst.nanoseconds)
            worst = slow, worstFile = file;
    }
    speed << "#tracker\tsamples\tnanoseconds\tpasses\n";
    for (const std::string &tracker : trackers) {
        std::snprintf(text, sizeof text, "\t%.0f\t%.0f\t%d\n", samples, nanoseconds[tracker],
                      opt.repeats);
        speed << tracker << text;
    }
    slowest << "#file\twindow\tnanoseconds\n"
            << worstFile << '\t' << worst.window << '\t' << worst.nanoseconds << '\n';
    if (!pitches.flush() || !speed.flush() || !slowest.flush())
        throw std::runtime_error("cannot write the output tables");
}

} // namespace

int main(int argc, char **argv) {
    return figures::runProgram<Options>("figures-trackers", argc, argv, &parseOptions, &run);
}
