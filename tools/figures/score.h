// The datasheet's scoring: every tracker's frames against the true pitch at
// each frame's centre, tallied per tracker and material.
#pragma once

#include "tables.h"

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace figures {

// Where one reported pitch lies against the truth. Octave errors are
// reports within 50 cents of twice or half the true pitch.
enum class FrameClass { Within20, Within50, OctaveUp, OctaveDown, NoPitch, Other };
FrameClass classifyFrame(double hz, double truthHz);

// What a frame centred at one instant should report: a pitch (voiced), no
// pitch (silence, noise or hum), or nothing scored (an attack, a release, or
// a pause in a note).
enum class Expect { Pitch, NoPitch, Unscored };
struct Expected {
    Expect expect = Expect::Unscored;
    double hz = 0.0;
};

// The truth of every file of the datasheet. The files table has one line
// per sound file:
//   file      the path the trackers' tables name
//   material  the row of the sheet it counts in ("Singer", "Singer + reverb")
//   kind      "singer": voiced where the truth table says so, at its pitch;
//             "sampled": voiced at goal_hz from from_s to to_s;
//             "silence", "noise" or "hum": nothing should be reported
//   source    for "singer", the file's name in the truth table
//   goal_hz, from_s, to_s   for "sampled"
// The truth table is figures-singer's (file, time_s, truth_hz, voicing), on a
// grid of `step` samples.
class SheetTruth {
  public:
    SheetTruth(const Table &files, const Table &singerTruth, int step = 64);
    Expected at(const std::string &file, double timeS) const;
    // The material a file counts in; throws for a file not in the table.
    const std::string &material(const std::string &file) const;
    bool isFalseMaterial(const std::string &file) const;
    // Materials in the order the files table first names them.
    const std::vector<std::string> &materials() const { return materials_; }

  private:
    struct File {
        std::string material, kind;
        double goalHz = 0.0, fromS = 0.0, toS = 0.0;
        std::vector<Expected> grid; // "singer" only
    };
    const File &file(const std::string &path) const;
    std::map<std::string, File> files_;
    std::vector<std::string> materials_;
    int step_;
};

// The tallies of one tracker on one material: every class of FrameClass.
struct Tally {
    std::size_t frames = 0;
    std::array<std::size_t, 6> counts{};
    void add(FrameClass c);
    // Percentage of frames in the class; NaN without frames.
    double pct(FrameClass c) const;
    double within50Pct() const; // Within20 and Within50 together
};

// "C2–B2" for the octave a true pitch lies in, by its nearest note.
std::string octaveBand(double truthHz);

struct Scores {
    std::vector<std::string> trackers; // in the order the tables name them
    // (tracker, material) on voiced frames, and (tracker, material, octave band).
    std::map<std::pair<std::string, std::string>, Tally> voiced;
    std::map<std::pair<std::string, std::string>, std::map<std::string, Tally>> bands;
    // (tracker, material) on silence, noise and hum: frames and those with a pitch.
    std::map<std::pair<std::string, std::string>, std::array<std::size_t, 2>> falsePitches;
    void add(const SheetTruth &truth, const Table &pitches);
};

} // namespace figures
