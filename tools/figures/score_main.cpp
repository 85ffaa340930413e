// figures-score: the datasheet's accuracy tables from the trackers' frames.
//
//   figures-score --files FILE --truth FILE --sheet FILE --bands FILE --false FILE
//                 --pitches FILE [--pitches FILE ...]
//
// See score.h for the files and truth tables. Every pitches table has one
// line per frame: file, tracker, time_s (the frame's centre), hz (0 for none).
// Out come, per tracker and material, the shares of voiced frames by class of
// error (--sheet), the same per octave of the true pitch (--bands), and the
// share of frames of silence, noise and hum given a pitch (--false).
#include "program.h"
#include "score.h"
#include "tables.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string files, truth, sheet, bands, falsePitches;
    std::vector<std::string> pitches;
};

int usage(std::ostream &out, int status) {
    out << "usage: figures-score --files FILE --truth FILE --sheet FILE --bands FILE --false "
           "FILE\n"
           "                     --pitches FILE [--pitches FILE ...]\n"
           "  Scores every tracker's frames against the true pitch at their centres.\n";
    return status;
}

int parseOptions(int argc, char **argv, Options &opt) {
    const int status =
        figures::parseCommandLine(argc, argv, &usage, figures::noFlags,
                                  [&](const std::string &arg, const std::string &value) {
                                      if (arg == "--pitches") {
                                          opt.pitches.push_back(value);
                                          return true;
                                      }
                                      std::string *text = arg == "--files"   ? &opt.files
                                                          : arg == "--truth" ? &opt.truth
                                                          : arg == "--sheet" ? &opt.sheet
                                                          : arg == "--bands" ? &opt.bands
                                                          : arg == "--false" ? &opt.falsePitches
                                                                             : nullptr;
                                      if (text)
                                          *text = value;
                                      return text != nullptr;
                                  });
    if (status >= 0)
        return status;
    return opt.files.empty() || opt.truth.empty() || opt.sheet.empty() || opt.bands.empty() ||
                   opt.falsePitches.empty() || opt.pitches.empty()
               ? usage(std::cerr, 2)
               : -1;
}

std::string cells(const figures::Tally &t) {
    using figures::FrameClass;
    char text[160];
    std::snprintf(text, sizeof text, "%zu\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f", t.frames,
                  t.within50Pct(), t.pct(FrameClass::Within20), t.pct(FrameClass::OctaveUp),
                  t.pct(FrameClass::OctaveDown), t.pct(FrameClass::NoPitch),
                  t.pct(FrameClass::Other));
    return text;
}

const char *kClassColumns =
    "frames\twithin50_pct\twithin20_pct\toctave_up_pct\toctave_down_pct\tno_pitch_pct\tother_pct\n";

void run(const Options &opt) {
    const figures::SheetTruth truth(figures::readTsv(opt.files), figures::readTsv(opt.truth));
    figures::Scores scores;
    for (const std::string &path : opt.pitches)
        scores.add(truth, figures::readTsv(path));
    std::ofstream sheet(opt.sheet), bands(opt.bands), falsePitches(opt.falsePitches);
    if (!sheet || !bands || !falsePitches)
        throw std::runtime_error("cannot write the output tables");
    sheet << "#tracker\tmaterial\t" << kClassColumns;
    bands << "#tracker\tmaterial\tband\t" << kClassColumns;
    falsePitches << "#tracker\tmaterial\tframes\tpitched_pct\n";
    for (const std::string &tracker : scores.trackers)
        for (const std::string &material : truth.materials()) {
            const std::pair<std::string, std::string> key{tracker, material};
            const auto voiced = scores.voiced.find(key);
            if (voiced != scores.voiced.end()) {
                sheet << tracker << '\t' << material << '\t' << cells(voiced->second) << '\n';
                for (const auto &band : scores.bands.at(key))
                    bands << tracker << '\t' << material << '\t' << band.first << '\t'
                          << cells(band.second) << '\n';
            }
            const auto f = scores.falsePitches.find(key);
            if (f != scores.falsePitches.end() && f->second[0] > 0) {
                char text[64];
                std::snprintf(text, sizeof text, "\t%zu\t%.3f\n", f->second[0],
                              100.0 * static_cast<double>(f->second[1]) /
                                  static_cast<double>(f->second[0]));
                falsePitches << tracker << '\t' << material << text;
            }
        }
    if (!sheet.flush() || !bands.flush() || !falsePitches.flush())
        throw std::runtime_error("cannot write the output tables");
}

} // namespace

int main(int argc, char **argv) {
    return figures::runProgram<Options>("figures-score", argc, argv, &parseOptions, &run);
}
