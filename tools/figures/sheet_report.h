// The datasheet's part of the figures page: its tables and numbers, from the
// tables figures-score, figures-trackers, SPTK and Praat left in a run's
// sheet folder.
#pragma once

#include "tables.h"

#include <map>
#include <string>
#include <vector>

namespace figures {

// One line of figures-score's sheet table.
struct SheetRow {
    std::string tracker, material;
    double frames = 0.0, within50 = 0.0, within20 = 0.0, octaveUp = 0.0, octaveDown = 0.0,
           noPitch = 0.0; // percentages of the voiced frames
    double pitched = 0.0; // silence, noise, hum: percentage of frames given a pitch
};
std::vector<SheetRow> sheetRows(const Table &sheet);
// figures-score's bands table for one material, the band in `material`.
std::vector<SheetRow> bandRows(const Table &bands, const std::string &material);
// figures-score's false table: frames and `pitched`.
std::vector<SheetRow> falseRows(const Table &falsePitches);

// Names in the order they first appear.
std::vector<std::string> trackerOrder(const std::vector<SheetRow> &rows);
std::vector<std::string> materialOrder(const std::vector<SheetRow> &rows);

// A markdown table with one line per tracker and one column per material;
// each cell is `cell` of that row, or "–" where the tracker has no row.
std::string measureTable(const std::vector<SheetRow> &rows, const std::string &corner,
                         std::string (*cell)(const SheetRow &));

// The share of voiced frames within 50 cents over every material together,
// weighted by frames; NaN when the tracker has none.
double overallWithin50(const std::vector<SheetRow> &rows, const std::string &tracker);

// One tracker's speed: nanoseconds per sample of audio, and how it was timed.
struct Speed {
    std::string tracker;
    double nsPerSample = 0.0;
    std::string how;
};
// The in-process trackers (figures-trackers), SPTK (less one start-up per
// file) and Praat (its own stopwatch), from whichever tables exist.
std::vector<Speed> speeds(const std::string &sheetDir);

// Fills the page's datasheet values and flags, and writes the tables its
// plot draws (speed_accuracy.tsv) into the sheet folder.
void fillDatasheet(const std::string &sheetDir, std::map<std::string, std::string> &v,
                   std::map<std::string, bool> &flags, std::vector<std::string> &glance);

} // namespace figures
