// figures-accuracy: runs our tracker and aubio's yin and yinfast over rendered
// notes, and plays one round of the game on each note.
//
// The manifest has one note per line, tab-separated:
//   <sound name> <game note, 57 = 440 Hz> <44100 Hz sound file> <note-off, s>
// Two tab-separated tables come out: one line per 512-sample window (with
// --windows) and one line per note (with --notes). Lines starting with '#'
// are headers.
#include "note_analysis.h"
#include "program.h"
#include "round_sim.h"

#include <util/XFun.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct ManifestLine {
    std::string sound;
    int note = 0;
    std::string path;
    double noteOff = 0.0;
};

std::vector<ManifestLine> readManifest(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot read the manifest");
    std::vector<ManifestLine> lines;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream fields(text);
        ManifestLine line;
        std::string note, off;
        if (!std::getline(fields, line.sound, '\t') || !std::getline(fields, note, '\t') ||
            !std::getline(fields, line.path, '\t') || !std::getline(fields, off, '\t'))
            throw std::runtime_error(path + ":" + std::to_string(number) +
                                     ": expected sound, note, file and note-off, tab-separated");
        char *end = nullptr;
        line.note = static_cast<int>(std::strtol(note.c_str(), &end, 10));
        const bool noteOk = !note.empty() && *end == '\0';
        line.noteOff = std::strtod(off.c_str(), &end);
        if (!noteOk || off.empty() || *end != '\0' || !(line.noteOff > 0.0))
            throw std::runtime_error(path + ":" + std::to_string(number) +
                                     ": the note must be a whole number and the note-off a "
                                     "positive number of seconds");
        lines.push_back(line);
    }
    return lines;
}

// Tab-separated numbers at a precision that round-trips cents to 0.01.
std::string fmt(double v) {
    if (std::isnan(v))
        return "nan";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

void writeWindows(std::ostream &out, const ManifestLine &line, double goal,
                  const figures::WindowPitches &p, std::size_t onset) {
    for (std::size_t w = 0; w < p.ours.size(); ++w) {
        out << line.sound << '\t' << line.note << '\t' << w << '\t'
            << fmt(static_cast<double>(w * figures::kWindow) / figures::kRate) << '\t'
            << (w >= onset ? 1 : 0);
        for (double hz : {p.ours[w], p.yin[w], p.yinfast[w]})
            out << '\t' << fmt(hz);
        for (double hz : {p.ours[w], p.yin[w], p.yinfast[w]})
            out << '\t' << fmt(figures::centsOff(hz, goal));
        out << '\n';
    }
}

void measureNote(const ManifestLine &line, std::ostream *windows, std::ostream &notes) {
    const std::vector<double> samples = figures::readMono44100(line.path);
    // The goal as the game computes it when the space key draws this note.
    const double goal = XFun::midi2freq(static_cast<double>(line.note));
    const std::size_t count = figures::windowsBefore(samples, line.noteOff);
    const std::size_t onset = figures::onsetWindow(samples, count);
    const figures::WindowPitches p = figures::trackWindows(samples, count);
    if (windows)
        writeWindows(*windows, line, goal, p, onset);
    // Releases are judged from half a second of singing on: a shorter round
    // is a stab, not a sung note.
    const std::size_t minHeld = figures::kRate / 2 / figures::kWindow;
    const figures::RoundResult round = figures::playRound(samples, onset, count, minHeld, goal);
    const figures::Judgement &last = round.atNoteOff;
    notes << line.sound << '\t' << line.note << '\t' << fmt(goal) << '\t'
          << fmt(static_cast<double>(onset * figures::kWindow) / figures::kRate) << '\t'
          << (count > onset ? count - onset : 0);
    for (const auto *track : {&p.ours, &p.yin, &p.yinfast})
        notes << '\t' << fmt(100.0 * figures::shareWithin(*track, onset, count, goal, 50.0));
    notes << '\t' << fmt(last.average) << '\t' << fmt(figures::centsOff(last.average, goal)) << '\t'
          << fmt(last.yAdj) << '\t' << (last.bullseye ? 1 : 0) << '\t'
          << fmt(100.0 * static_cast<double>(round.bullseyes) / static_cast<double>(round.releases))
          << '\n';
}

int usage(std::ostream &out, int status) {
    out << "usage: figures-accuracy --manifest FILE --notes FILE [--windows FILE]\n"
           "  Tracks every note of the manifest (lines: sound<TAB>note<TAB>file<TAB>note-off s)\n"
           "  in 512-sample windows with our tracker, aubio yin and aubio yinfast, and\n"
           "  plays one round of the game on it from its onset to its note-off, judged\n"
           "  at the note-off and as if released after every block from 0.5 s on.\n";
    return status;
}

struct Options {
    std::string manifest, notes, windows;
};

// Returns the exit status to end with at once, or -1 to go on.
int parseOptions(int argc, char **argv, Options &opt) {
    const int status =
        figures::parseCommandLine(argc, argv, &usage, figures::noFlags,
                                  [&](const std::string &arg, const std::string &value) {
                                      std::string *text = arg == "--manifest"  ? &opt.manifest
                                                          : arg == "--notes"   ? &opt.notes
                                                          : arg == "--windows" ? &opt.windows
                                                                               : nullptr;
                                      if (text)
                                          *text = value;
                                      return text != nullptr;
                                  });
    if (status >= 0)
        return status;
    return opt.manifest.empty() || opt.notes.empty() ? usage(std::cerr, 2) : -1;
}

void run(const Options &opt) {
    // The manifest is read whole first, so a bad line fails before any output.
    const std::vector<ManifestLine> lines = readManifest(opt.manifest);
    std::ofstream notes(opt.notes), windows;
    const bool perWindow = !opt.windows.empty();
    if (perWindow)
        windows.open(opt.windows);
    if (!notes || (perWindow && !windows))
        throw std::runtime_error("cannot write the output tables");
    notes << "#sound\tnote\tgoal_hz\tonset_s\twindows\tours_pct\tyin_pct\tyinfast_pct"
             "\tround_avg_hz\tround_cents\ty_adj\tbullseye\trelease_bullseye_pct\n";
    if (perWindow)
        windows << "#sound\tnote\twindow\ttime_s\tafter_onset\tours_hz\tyin_hz\tyinfast_hz"
                   "\tours_cents\tyin_cents\tyinfast_cents\n";
    for (const ManifestLine &line : lines)
        measureNote(line, perWindow ? &windows : nullptr, notes);
    if (!notes.flush() || (perWindow && !windows.flush()))
        throw std::runtime_error("cannot write the output tables");
}

} // namespace

int main(int argc, char **argv) {
    return figures::runProgram<Options>("figures-accuracy", argc, argv, &parseOptions, &run);
}
