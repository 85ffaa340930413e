// The real program on a private X server and audio server: it starts, plays
// the same first goal in every run, and key q ends it with status 0 while the
// audio stream is still running.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <headless/servers.h>

namespace {

using headless::slurp;

int runTool(const std::vector<std::string> &argv, const std::vector<std::string> &env) {
    const int quiet = ::open("/dev/null", O_WRONLY);
    const pid_t pid = headless::spawnChild(argv, env, quiet, quiet);
    ::close(quiet);
    return headless::waitChild(pid, 20000);
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(x_.display().empty());
        ASSERT_TRUE(pulse_.ok());
        // Key q ends the process at once, stream running and nothing freed,
        // so a sanitized build checks the run for every fault but leaks.
        const char *asan = std::getenv("ASAN_OPTIONS");
        env_ = {"DISPLAY=" + x_.display(), "XDG_RUNTIME_DIR=" + pulse_.runtimeDir(),
                "HOME=" + pulse_.runtimeDir(), "PULSE_SERVER",
                std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0"};
    }

    // Starts the game, sends the keys once its window is up, and returns the
    // wait status; out and err receive what it printed.
    int play(const std::string &keys, std::string &out, std::string &err) {
        const std::string dir = headless::makePrivateDir("program");
        const int o = ::open((dir + "/out").c_str(), O_WRONLY | O_CREAT, 0600);
        const int e = ::open((dir + "/err").c_str(), O_WRONLY | O_CREAT, 0600);
        const pid_t game = headless::spawnChild({ARROWSONG_BINARY}, env_, o, e);
        ::close(o);
        ::close(e);
        const std::string find = "xdotool search --sync --name Arrowsong";
        for (char key : keys) {
            const std::string name = key == ' ' ? "space" : std::string(1, key);
            runTool({"sh", "-c", "w=$(" + find + " | head -n1) && xdotool key --window $w " + name},
                    env_);
        }
        const int status = headless::waitChild(game, 20000);
        out = slurp(dir + "/out");
        err = slurp(dir + "/err");
        headless::removeTree(dir);
        return status;
    }

    headless::Xvfb x_;
    headless::PulseServer pulse_{
        {"module-null-sink sink_name=speaker", "module-null-source source_name=microphone"}};
    std::vector<std::string> env_;
};

} // namespace

TEST_F(ProgramTest, QuitsWithStatusZeroWhileTheStreamRuns) {
    for (int run = 0; run < 3; ++run) {
        std::string out, err;
        const int status = play(" q", out, err);
        ASSERT_TRUE(WIFEXITED(status)) << "run " << run << ": " << err;
        EXPECT_EQ(WEXITSTATUS(status), 0) << err;
        EXPECT_EQ(out.rfind("stream latency: ", 0), 0u) << out;
        EXPECT_NE(out.find(" frames\nMIDI: "), std::string::npos) << out;
        EXPECT_NE(err.find("Buffer size defined by RtAudio: "), std::string::npos) << err;
    }
}

TEST_F(ProgramTest, EveryRunStartsWithTheSameGoal) {
    std::string first, second, err;
    play(" q", first, err);
    play(" q", second, err);
    const auto goal = [](const std::string &out) { return out.substr(out.find("MIDI: ")); };
    ASSERT_NE(first.find("MIDI: "), std::string::npos) << first;
    EXPECT_EQ(goal(first), goal(second));
    EXPECT_NE(goal(first).find("\nFreq: "), std::string::npos);
}

TEST_F(ProgramTest, UpperCaseQDoesNotQuit) {
    std::string out, err;
    const int status = play("Q q", out, err); // the tone after Q proves it still ran
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(out.find("MIDI: "), std::string::npos) << out;
}
