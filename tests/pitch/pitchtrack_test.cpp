// The pitchtrack program on audio files that the tests write.
#include "signals.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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

    Outcome run(const std::string &args) {
        const std::string err = path("stderr.txt");
        const std::string cmd = std::string(PITCHTRACK_PATH) + " " + args + " 2>'" + err + "'";
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

TEST_F(Pitchtrack, MonoFileAtTheTrackerRate) {
    const auto file = write("tone.wav", signals::sine(330.0, 44100), 44100, 1);
    const Outcome r = run("'" + file + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = parse(r.out);
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

TEST_F(Pitchtrack, StereoAtAnotherRateIsMixedAndResampled) {
    // Left holds the tone, right silence: the mix still carries the tone. At
    // 48000 Hz unresampled, it would read as 220 * 48000 / 44100 = 239.5 Hz.
    // signals::sine counts at 44100 Hz; scaled, it steps as 220 Hz at 48000.
    const auto left = signals::sine(220.0 * 44100.0 / 48000.0, 48000, 0.8);
    std::vector<double> frames;
    for (double v : left) {
        frames.push_back(v);
        frames.push_back(0.0);
    }
    const auto file = write("stereo.wav", frames, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Outcome r = run("'" + file + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = parse(r.out);
    EXPECT_NEAR(static_cast<double>(lines.size()), (44100.0 - 512) / 512 + 1, 1.0);
    EXPECT_GT(shareNear(lines, 220.0), 0.95);
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
}

} // namespace
