// The pitchtrack program on audio files that the tests write.
#include "signals.h"

#include <wavepitch.h>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class Pitchtrack : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pitchtrack-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    // Writes interleaved frames as 16-bit or float WAV (or another format).
    std::string write(const std::string &name, const std::vector<double> &frames, int rate,
                      int channels, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE *f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f) {
            sf_writef_double(f, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
            sf_close(f);
        }
        return path(name);
    }

    Outcome run(const std::string &args, const std::string &program = PITCHTRACK_PATH) {
        const std::string err = path("stderr.txt");
        const std::string cmd = program + " " + args + " 2>'" + err + "'";
        Outcome r{};
        FILE *p = popen(cmd.c_str(), "r");
        char buf[4096];
        for (std::size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
            r.out.append(buf, n);
        const int raw = p ? pclose(p) : -1;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream e(err);
        r.err.assign(std::istreambuf_iterator<char>(e), {});
        return r;
    }

    std::string dir_;
};

struct Line {
    double time, hz;
};

std::vector<Line> parse(const std::string &out) {
    static const std::regex format(R"(^(\d+\.\d{6}) (\d+\.\d{3})$)");
    std::vector<Line> lines;
    std::istringstream in(out);
    for (std::string s; std::getline(in, s);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(s, m, format)) << "line '" << s << "'";
        if (!m.empty())
            lines.push_back({std::stod(m[1]), std::stod(m[2])});
    }
    return lines;
}

// Share of windows, past the first few, whose pitch lies within 20 cents.
double shareNear(const std::vector<Line> &lines, double hz) {
    int near = 0, counted = 0;
    for (std::size_t i = 3; i < lines.size(); ++i, ++counted)
        near += lines[i].hz > 0 && std::fabs(signals::cents(lines[i].hz, hz)) < 20.0;
    return counted ? static_cast<double>(near) / counted : 0.0;
}

// What pitchtrack printed before it read files in blocks: the whole file in
// memory, one record walked over its windows.
std::string wholeFileWalk(const std::string &file, int window, int hop) {
    SF_INFO info{};
    SNDFILE *f = sf_open(file.c_str(), SFM_READ, &info);
    std::vector<double> x(static_cast<std::size_t>(info.frames));
    if (f) {
        sf_readf_double(f, x.data(), info.frames);
        sf_close(f);
    }
    _dywapitchtracker record;
    dywapitch_inittracking(&record);
    std::string out;
    char line[64];
    for (std::size_t start = 0; start + static_cast<std::size_t>(window) <= x.size();
         start += static_cast<std::size_t>(hop)) {
        const double hz =
            dywapitch_computepitch(&record, x.data(), static_cast<int>(start), window);
        std::snprintf(line, sizeof line, "%.6f %.3f\n", static_cast<double>(start) / 44100.0, hz);
        out += line;
    }
    return out;
}

TEST_F(Pitchtrack, MonoAtTheTrackerRateIsTheWholeFileWalk) {
    // A voice-like glide with breath noise, read in several blocks and not a
    // whole number of them, through windows shorter and longer than the hop.
    std::mt19937 rng(7);
    const int count = 3 * 16384 + 777;
    auto take = signals::harmonics(196.0, count, {0.5, 0.3, 0.2, 0.1});
    for (int i = 0; i < count; ++i)
        take[static_cast<std::size_t>(i)] *= 1.0 + 0.3 * std::sin(i / 3000.0);
    signals::addNoise(take, 0.01, rng);
    const auto file = write("take.wav", take, 44100, 1);
    for (const auto &[window, hop] : {std::pair{512, 512}, {2048, 300}, {4096, 5000}, {4, 1}}) {
        const Outcome r = run("--window " + std::to_string(window) + " --hop " +
                              std::to_string(hop) + " '" + file + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == wholeFileWalk(file, window, hop)) << window << "/" << hop;
    }
    // The windows are those of a tone at their times.
    const auto tone = write("tone.wav", signals::sine(330.0, 44100), 44100, 1);
    const auto lines = parse(run("'" + tone + "'").out);
    ASSERT_EQ(lines.size(), (44100u - 512) / 512 + 1);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_NEAR(lines[i].time, i * 512 / 44100.0, 1e-6);
    EXPECT_GT(shareNear(lines, 330.0), 0.95);
}

TEST_F(Pitchtrack, WindowAndHopOptions) {
    const auto file = write("tone.wav", signals::sine(150.0, 22050), 44100, 1);
    const Outcome r = run("--window 2048 --hop 300 '" + file + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = parse(r.out);
    ASSERT_EQ(lines.size(), (22050u - 2048) / 300 + 1);
    EXPECT_NEAR(lines[1].time, 300 / 44100.0, 1e-6);
    EXPECT_GT(shareNear(lines, 150.0), 0.95);
}

TEST_F(Pitchtrack, StereoAt48000TracksAsItsMonoOriginal) {
    // Steady tones from 174.6 to 1568 Hz, each a second long, made at 44100 Hz
    // mono and, as the same waves, at 48000 Hz in stereo: left at full
    // level, right at half. signals:: counts at 44100 Hz; scaled, it steps as
    // the same tone at 48000 Hz. Unresampled, 220 Hz would read as 239.5.
    const std::vector<double> weights = {0.5, 0.25, 0.12};
    std::vector<double> mono, stereo;
    for (double hz : {174.6, 220.0, 329.6, 440.0, 523.3, 784.0, 1174.7, 1568.0}) {
        const auto a = signals::harmonics(hz, 44100, weights);
        mono.insert(mono.end(), a.begin(), a.end());
        for (double v : signals::harmonics(hz * 44100.0 / 48000.0, 48000, weights)) {
            stereo.push_back(v);
            stereo.push_back(0.5 * v);
        }
    }
    const Outcome original = run("'" + write("mono.wav", mono, 44100, 1) + "'");
    const Outcome converted = run("'" + write("stereo.wav", stereo, 48000, 2) + "'");
    ASSERT_EQ(converted.status, 0) << converted.err;
    const auto want = parse(original.out), got = parse(converted.out);
    ASSERT_EQ(got.size(), want.size());
    int compared = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].time, want[i].time);
        // Windows that straddle two tones, or follow one, hold a mix.
        const std::size_t at = i * 512 % 44100;
        if (at < 4096 || at + 512 > 44100)
            continue;
        ASSERT_GT(want[i].hz, 0.0) << "at " << want[i].time;
        EXPECT_NEAR(signals::cents(got[i].hz, want[i].hz), 0.0, 3.0) << "at " << want[i].time;
        ++compared;
    }
    EXPECT_GT(compared, 500);
}

TEST_F(Pitchtrack, SilenceHasNoPitch) {
    const auto file = write("silence.flac", std::vector<double>(4096, 0.0), 44100, 1,
                            SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const Outcome r = run(file);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = parse(r.out);
    ASSERT_EQ(lines.size(), 8u);
    for (const Line &l : lines)
        EXPECT_EQ(l.hz, 0.0);
}

TEST_F(Pitchtrack, UnreadableFilesFailClearly) {
    Outcome r = run("'" + path("missing.wav") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    std::ofstream(path("notes.txt")) << "not a sound file\n";
    r = run(path("notes.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("notes.txt"), std::string::npos) << r.err;

    r = run(write("empty.wav", {}, 44100, 1));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no audio"), std::string::npos) << r.err;

    r = run(write("short.wav", signals::sine(440.0, 300), 44100, 1));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fewer than one window"), std::string::npos) << r.err;
}

TEST_F(Pitchtrack, CsvHasThePlainTimesAndPitchesWithAConfidence) {
    // Silence, a tone, a gap and the tone again: the fresh record reports no
    // confidence, which climbs with the tone, falls through the gap and
    // climbs again.
    auto take = std::vector<double>(1024, 0.0);
    const auto tone = signals::sine(247.0, 8192);
    const auto gap = std::vector<double>(4096, 0.0);
    for (const auto *part : {&tone, &gap, &tone})
        take.insert(take.end(), part->begin(), part->end());
    const auto file = write("take.wav", take, 44100, 1);
    const Outcome plain = run("--hop 256 '" + file + "'");
    const Outcome csv = run("--csv --hop 256 '" + file + "'");
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto lines = parse(plain.out);
    std::istringstream rows(csv.out);
    std::string row;
    ASSERT_TRUE(std::getline(rows, row));
    EXPECT_EQ(row, "time,frequency,confidence");
    static const std::regex format(R"(^(\d+\.\d{6}),(\d+\.\d{3}),([01]\.\d)$)");
    std::size_t i = 0;
    std::vector<double> confidence;
    for (; std::getline(rows, row); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(row, m, format)) << "row '" << row << "'";
        ASSERT_LT(i, lines.size());
        // The same windows as the plain output, to the printed digit.
        char plainRow[64];
        std::snprintf(plainRow, sizeof plainRow, "%.6f,%.3f", lines[i].time, lines[i].hz);
        EXPECT_EQ(std::string(m[1]) + "," + std::string(m[2]), plainRow);
        confidence.push_back(std::stod(m[3]));
    }
    ASSERT_EQ(i, lines.size());
    // The silent windows before the tone: a fresh record, no pitch.
    EXPECT_EQ(
        csv.out.rfind("time,frequency,confidence\n0.000000,0.000,0.0\n0.005805,0.000,0.0\n", 0),
        0u);
    // Each tracked window raises the confidence by a fifth, up to 1.
    const std::size_t first = static_cast<std::size_t>(
        std::find_if(confidence.begin(), confidence.end(), [](double c) { return c > 0; }) -
        confidence.begin());
    ASSERT_TRUE(first == 3 || first == 4) << first; // the tone starts in window 3 or 4
    EXPECT_DOUBLE_EQ(confidence[first], 0.2);
    EXPECT_DOUBLE_EQ(confidence[first + 1], 0.4);
    EXPECT_DOUBLE_EQ(confidence[first + 10], 1.0);
    // In the gap it drains to 0, where no pitch is reported.
    const std::size_t inGap = (1024 + 8192 + 3000) / 256;
    EXPECT_DOUBLE_EQ(confidence[inGap], 0.0);
    EXPECT_EQ(lines[inGap].hz, 0.0);
    EXPECT_DOUBLE_EQ(confidence.back(), 1.0);
}

TEST_F(Pitchtrack, ATruncatedFileGivesWhatItHoldsAndAWarning) {
    // A 16-bit WAV cut after 30000 of its 44100 frames, and a whole file of
    // the frames it still holds.
    const auto tone = signals::sine(262.0, 44100);
    const int pcm = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const auto whole = write("whole.wav", tone, 44100, 1, pcm);
    const auto held = write("held.wav", {tone.begin(), tone.begin() + 30000}, 44100, 1, pcm);
    ASSERT_EQ(truncate(whole.c_str(), 44 + 2 * 30000), 0);
    const Outcome cut = run("'" + whole + "'");
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_EQ(cut.out, run("'" + held + "'").out);
    EXPECT_EQ(std::count(cut.err.begin(), cut.err.end(), '\n'), 1) << cut.err;
    EXPECT_NE(cut.err.find("warning: " + whole + ": ends early: holds 30000 of the 44100 frames"),
              std::string::npos)
        << cut.err;
    // A take judged from it is judged on what it holds, with the same warning.
    const Outcome judged = run("--judge 48 '" + whole + "'");
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_EQ(judged.out, run("--judge 48 '" + held + "'").out);
    EXPECT_EQ(judged.err, cut.err);
    // A FLAC file cut short: its header counts the frames, and what decodes
    // before the cut is the start of the whole file's lines.
    const auto flac = write("whole.flac", tone, 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string full = run("'" + flac + "'").out;
    struct stat size {};
    ASSERT_EQ(stat(flac.c_str(), &size), 0);
    ASSERT_EQ(truncate(flac.c_str(), size.st_size / 2), 0);
    const Outcome half = run("'" + flac + "'");
    ASSERT_EQ(half.status, 0) << half.err;
    EXPECT_GT(half.out.size(), 0u);
    EXPECT_LT(half.out.size(), full.size());
    EXPECT_EQ(full.compare(0, half.out.size(), half.out), 0);
    EXPECT_NE(half.err.find("ends early"), std::string::npos) << half.err;
}

TEST_F(Pitchtrack, ProgressOnlyOnATerminal) {
    // 61 seconds: a file long enough for the progress line.
    const auto file = write("long.wav", signals::sine(220.0, 61 * 44100), 44100, 1,
                            SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Outcome quiet = run("'" + file + "'");
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    // On a pseudo-terminal (script gives the command one), with standard
    // output to a file: the line is drawn, and erased at the end.
    const std::string inner =
        std::string(PITCHTRACK_PATH) + " '" + file + "' >'" + path("tty-out.txt") + "'";
    const Outcome tty = run("-q -e -c \"" + inner + "\" /dev/null", "script");
    ASSERT_EQ(tty.status, 0) << tty.err;
    EXPECT_NE(tty.out.find("\rpitchtrack: "), std::string::npos) << tty.out;
    EXPECT_NE(tty.out.find("% done, "), std::string::npos) << tty.out;
    ASSERT_GE(tty.out.size(), 4u);
    EXPECT_EQ(tty.out.substr(tty.out.size() - 4), "\r\033[K");
    std::ifstream out(path("tty-out.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(out), {}), quiet.out);
}

// The four lines of a judgement.
struct Judgement {
    double goal = 0, average = 0, height = 99, cents = 0;
};

Judgement parseJudgement(const std::string &out) {
    static const std::regex format("^Goal frequency: ([0-9.e+-]+)\n"
                                   "Your frequency average: ([0-9.e+-]+)\n"
                                   "landing height: (-?[0-9.]+)\n"
                                   "cents: (-?[0-9]+\\.[0-9]|-)\n$");
    std::smatch m;
    Judgement j;
    EXPECT_TRUE(std::regex_match(out, m, format)) << out;
    if (!m.empty()) {
        j = {std::stod(m[1]), std::stod(m[2]), std::stod(m[3]),
             m[4] == "-" ? NAN : std::stod(m[4])};
    }
    return j;
}

TEST_F(Pitchtrack, JudgeLandsEachBand) {
    // Note 45 is A3, 220 Hz. The bands start 40, 60, 80 and 100 cents off the
    // goal, and every take lies in the middle of its band. The judged average
    // comes from one block's estimate, which on a pure tone errs by up to half
    // a sample of the period: about 5 cents at these pitches.
    const struct {
        double cents;
        double height;
    } takes[] = {{0, 0.0},   {25, 0.0},   {-30, 0.0},   {50, 0.1},    {70, 0.25},  {90, 0.35},
                 {150, 0.5}, {-50, -0.1}, {-70, -0.25}, {-90, -0.35}, {-300, -0.5}};
    for (const auto &take : takes) {
        const double hz = 220.0 * std::pow(2.0, take.cents / 1200.0);
        const auto file = write("take.wav", signals::sine(hz, 44100), 44100, 1);
        const Outcome r = run("--judge 45 '" + file + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        const Judgement j = parseJudgement(r.out);
        EXPECT_EQ(j.goal, 220.0);
        EXPECT_EQ(j.height, take.height) << take.cents << " cents: " << r.out;
        EXPECT_NEAR(j.cents, take.cents, 6.0) << r.out;
        // The printed cents are those between the printed average and the goal.
        EXPECT_NEAR(j.cents, signals::cents(j.average, j.goal), 0.1) << r.out;
    }
}

TEST_F(Pitchtrack, JudgeOfSilenceIsTheLowestBand) {
    const auto file = write("silence.wav", std::vector<double>(22050, 0.0), 44100, 1);
    const Outcome r = run("--judge 57 '" + file + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const Judgement j = parseJudgement(r.out);
    EXPECT_EQ(j.goal, 440.0);
    EXPECT_EQ(j.average, 0.0);
    EXPECT_EQ(j.height, -0.5);
    EXPECT_TRUE(std::isnan(j.cents)) << r.out; // printed as "-": no pitch, no distance
}

TEST_F(Pitchtrack, JudgeTakesNamesAndOtherFormats) {
    // G3 is note 43, 196 Hz; F#4 is 54, 370 Hz; Bb3 is 46, 233.08 Hz; the
    // take is at 48000 Hz in stereo with the tone on one channel only.
    const struct {
        const char *note;
        double hz;
    } notes[] = {{"G3", 195.998}, {"F#4", 369.994}, {"Bb3", 233.082}, {"c4", 261.626}};
    for (const auto &n : notes) {
        const auto left = signals::sine(n.hz * 44100.0 / 48000.0, 48000, 0.8);
        std::vector<double> frames;
        for (double v : left) {
            frames.push_back(0.0);
            frames.push_back(v);
        }
        const auto file = write("take.wav", frames, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        const Outcome r = run(std::string("--judge ") + n.note + " '" + file + "'");
        ASSERT_EQ(r.status, 0) << n.note << ": " << r.err;
        const Judgement j = parseJudgement(r.out);
        EXPECT_NEAR(j.goal, n.hz, 0.001) << n.note;
        EXPECT_EQ(j.height, 0.0) << n.note << ": " << r.out;
        EXPECT_NEAR(j.cents, 0.0, 5.0) << n.note;
    }
}

TEST_F(Pitchtrack, JudgeRefusesBadNotesAndShortTakes) {
    const auto file = write("take.wav", signals::sine(220.0, 4096), 44100, 1);
    for (const char *note :
         {"128", "-1", "H3", "A", "C11", "Cb0", "A#", "4A", "57.5", "A3x", "F##4", "\"\""}) {
        const Outcome r = run(std::string("--judge ") + note + " '" + file + "'");
        EXPECT_EQ(r.status, 2) << note;
        EXPECT_NE(r.err.find("needs a note"), std::string::npos) << note << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << note;
    }
    EXPECT_EQ(run("--judge 45").status, 2);
    EXPECT_EQ(run("--judge 45 --window 1024 '" + file + "'").status, 2);
    EXPECT_EQ(run("--judge 45 --csv '" + file + "'").status, 2);

    const Outcome shortTake =
        run("--judge 45 '" + write("s.wav", signals::sine(220.0, 500), 44100, 1) + "'");
    EXPECT_EQ(shortTake.status, 1);
    EXPECT_NE(shortTake.err.find("fewer than one block"), std::string::npos) << shortTake.err;
    EXPECT_TRUE(shortTake.out.empty());
    const Outcome missing = run("--judge 45 '" + path("missing.wav") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.wav"), std::string::npos);
}

TEST_F(Pitchtrack, BadOptionsAndHelp) {
    const auto file = write("tone.wav", signals::sine(330.0, 4096), 44100, 1);
    for (const char *args : {"--window 1000", "--window 2", "--window", "--hop 0", "--hop x",
                             "--hop -5", "--speed 2", "--window 512x"}) {
        const Outcome r = run(std::string(args) + " " + file);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("pitchtrack: "), std::string::npos) << args;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run(file + " " + file).status, 2);

    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: pitchtrack"), std::string::npos);
    EXPECT_NE(help.out.find("--window N"), std::string::npos);
    for (const char *mode : {"--csv", "--live", "--judge NOTE FILE", "--seconds S"})
        EXPECT_NE(help.out.find(mode), std::string::npos) << mode;
    EXPECT_EQ(run("--seconds 2 " + file).status, 2);
    EXPECT_EQ(run("--live " + file).status, 2);
    EXPECT_EQ(run("--live --seconds 0").status, 2);
    EXPECT_EQ(run("--live --csv").status, 2);
}

} // namespace
