#include "score.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace figures {

FrameClass classifyFrame(double hz, double truthHz) {
    if (!(hz > 0.0))
        return FrameClass::NoPitch;
    const double cents = 1200.0 * std::log2(hz / truthHz);
    if (std::fabs(cents) <= 20.0)
        return FrameClass::Within20;
    if (std::fabs(cents) <= 50.0)
        return FrameClass::Within50;
    if (std::fabs(cents - 1200.0) <= 50.0)
        return FrameClass::OctaveUp;
    if (std::fabs(cents + 1200.0) <= 50.0)
        return FrameClass::OctaveDown;
    return FrameClass::Other;
}

void Tally::add(FrameClass c) {
    ++frames;
    ++counts[static_cast<std::size_t>(c)];
}

double Tally::pct(FrameClass c) const {
    return frames ? 100.0 * static_cast<double>(counts[static_cast<std::size_t>(c)]) /
                        static_cast<double>(frames)
                  : std::numeric_limits<double>::quiet_NaN();
}

double Tally::within50Pct() const {
    return pct(FrameClass::Within20) + pct(FrameClass::Within50);
}

std::string octaveBand(double truthHz) {
    const long midi = std::lround(69.0 + 12.0 * std::log2(truthHz / 440.0));
    const long octave = midi / 12 - 1;
    return "C" + std::to_string(octave) + "–B" + std::to_string(octave);
}

SheetTruth::SheetTruth(const Table &files, const Table &singerTruth, int step) : step_(step) {
    std::map<std::string, std::vector<Expected>> grids;
    for (std::size_t r = 0; r < singerTruth.size(); ++r) {
        const std::string &voicing = singerTruth.text(r, "voicing");
        Expected e;
        e.expect = voicing == "voiced" ? Expect::Pitch : Expect::Unscored;
        e.hz = singerTruth.number(r, "truth_hz");
        std::vector<Expected> &grid = grids[singerTruth.text(r, "file")];
        const auto at = static_cast<std::size_t>(
            std::lround(singerTruth.number(r, "time_s") * 44100.0 / step_));
        if (at != grid.size())
            throw std::runtime_error("the singer's truth is not on a grid of " +
                                     std::to_string(step_) + " samples");
        grid.push_back(e);
    }
    for (std::size_t r = 0; r < files.size(); ++r) {
        File f;
        f.material = files.text(r, "material");
        f.kind = files.text(r, "kind");
        if (f.kind == "singer") {
            const auto grid = grids.find(files.text(r, "source"));
            if (grid == grids.end())
                throw std::runtime_error("no truth for " + files.text(r, "source"));
            f.grid = grid->second;
        } else if (f.kind == "sampled") {
            f.goalHz = files.number(r, "goal_hz");
            f.fromS = files.number(r, "from_s");
            f.toS = files.number(r, "to_s");
        } else if (f.kind != "silence" && f.kind != "noise" && f.kind != "hum") {
            throw std::runtime_error("unknown kind of material: " + f.kind);
        }
        if (materials_.empty() ||
            std::find(materials_.begin(), materials_.end(), f.material) == materials_.end())
            materials_.push_back(f.material);
        files_[files.text(r, "file")] = std::move(f);
    }
}

const SheetTruth::File &SheetTruth::file(const std::string &path) const {
    const auto f = files_.find(path);
    if (f == files_.end())
        throw std::runtime_error("a tracker reported on a file the sheet does not list: " + path);
    return f->second;
}

const std::string &SheetTruth::material(const std::string &path) const {
    return file(path).material;
}

bool SheetTruth::isFalseMaterial(const std::string &path) const {
    const std::string &kind = file(path).kind;
    return kind != "singer" && kind != "sampled";
}

Expected SheetTruth::at(const std::string &path, double timeS) const {
    const File &f = file(path);
    Expected e;
    if (f.kind == "singer") {
        const double at = std::round(timeS * 44100.0 / step_);
        if (at >= 0.0 && at < static_cast<double>(f.grid.size()))
            e = f.grid[static_cast<std::size_t>(at)];
    } else if (f.kind == "sampled") {
        if (timeS >= f.fromS && timeS <= f.toS)
            e = {Expect::Pitch, f.goalHz};
    } else {
        e.expect = Expect::NoPitch;
    }
    return e;
}

void Scores::add(const SheetTruth &truth, const Table &pitches) {
    for (std::size_t r = 0; r < pitches.size(); ++r) {
        const std::string &file = pitches.text(r, "file");
        const std::string &tracker = pitches.text(r, "tracker");
        if (std::find(trackers.begin(), trackers.end(), tracker) == trackers.end())
            trackers.push_back(tracker);
        const double hz = pitches.number(r, "hz");
        const Expected e = truth.at(file, pitches.number(r, "time_s"));
        const std::pair<std::string, std::string> key{tracker, truth.material(file)};
        if (e.expect == Expect::Pitch) {
            const FrameClass c = classifyFrame(hz, e.hz);
            voiced[key].add(c);
            bands[key][octaveBand(e.hz)].add(c);
        } else if (e.expect == Expect::NoPitch) {
            std::array<std::size_t, 2> &n = falsePitches[key];
            ++n[0];
            n[1] += hz > 0.0;
        }
    }
}

} // namespace figures
