// The statistics and tables of the figures page, computed from the tables of
// one run: the notes and windows of figures-accuracy, the key-to-tone times,
// and Google Benchmark's results. Formatting follows the page.
#pragma once

#include "tables.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace figures {

// One line of the notes table (figures-accuracy --notes).
struct NoteRow {
    std::string sound;
    int note = 0; // the game's scale: 57 is 440 Hz
    double goalHz = 0.0;
    double oursPct = 0.0, yinPct = 0.0, yinfastPct = 0.0; // windows within 50 cents
    double roundAvgHz = 0.0, roundCents = 0.0, yAdj = 0.0;
    bool bullseye = false;
    double releaseBullseyePct = 0.0;
};
std::vector<NoteRow> noteRows(const Table &notes);

// One line of the windows table (figures-accuracy --windows).
struct WindowRow {
    std::string sound;
    int note = 0;
    bool afterOnset = false;
    std::array<double, 3> hz{};    // ours, yin, yinfast; 0 for no pitch
    std::array<double, 3> cents{}; // the same against the goal; NaN for no pitch
};
std::vector<WindowRow> windowRows(const Table &windows);

// "C3" for the game's note 36, "A4" for 57 (game notes are MIDI notes - 12).
std::string noteName(int gameNote);

// The sounds in the order they first appear.
std::vector<std::string> soundOrder(const std::vector<NoteRow> &notes);

// Median, quartiles (linear interpolation between the sorted values) and
// range; n == 0 when there are no values.
struct Summary {
    std::size_t n = 0;
    double median = 0.0, p25 = 0.0, p75 = 0.0, min = 0.0, max = 0.0;
};
Summary summarize(std::vector<double> values);

// The median of the values that are not NaN; NaN when there are none.
double medianOf(std::vector<double> values);

// The mean of `column` (a percentage of NoteRow) over notes in [lo, hi];
// NaN when none is in range.
double meanOverNotes(const std::vector<NoteRow> &notes, double NoteRow::*column, int lo, int hi);

// Where the windows after the onset put each tracker's pitch: a histogram in
// 5-cent bins within a semitone, and every window by class of error.
constexpr int kHistBins = 40;
extern const std::array<const char *, 6> kErrorClasses;
struct ErrorShares {
    std::size_t judged = 0;                              // windows after the onset
    std::array<std::array<double, 3>, kHistBins> hist{}; // % of judged windows
    std::array<std::array<double, 3>, 6> classes{};      // % of judged windows
};
ErrorShares errorShares(const std::vector<WindowRow> &windows);
// The class (index into kErrorClasses) of one window's cents off the note.
int errorClass(double cents);

// The median cents of ours and yin over each note's windows after the onset
// that have a pitch, keyed by sound and note.
struct NoteMedians {
    double ours = 0.0, yin = 0.0;
};
std::map<std::pair<std::string, int>, NoteMedians>
noteMedians(const std::vector<WindowRow> &windows);

// The judged height as the player reads it ("bullseye", "sharp, 2–3 steps").
std::string judgedText(double yAdj);

// One aggregate of one benchmark, times in microseconds.
struct BenchRow {
    std::string name;      // up to the first '/': "BM_CallbackIdle"
    std::string aggregate; // "mean", "median", "stddev" or "cv"
    double cpuUs = 0.0, realUs = 0.0;
};
// The aggregates in Google Benchmark's CSV (iteration rows are skipped).
std::vector<BenchRow> benchRows(const Table &csv);

// Per benchmark in the order they ran: its label on the page, median and
// standard deviation of the CPU time (NaN when not reported).
struct CallbackRow {
    std::string label;
    double medianUs = 0.0, stddevUs = 0.0;
};
std::vector<CallbackRow> callbackRows(const std::vector<BenchRow> &game);

// printf into a string.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The text with every {{name}} replaced by its value. {{#flag}}...{{/flag}}
// is kept only when the flag is set, {{^flag}}...{{/flag}} only when it is
// not. An unknown name or an unclosed block throws std::runtime_error.
std::string fillTemplate(const std::string &text, const std::map<std::string, std::string> &values,
                         const std::map<std::string, bool> &flags);

} // namespace figures
