// Start-up, where the audio side can fail before any round is played: the
// real program without an audio server, and a stream that cannot open.
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <RtAudio.h>
#include <game/audio.h>

#include "audio_internal.h"

#include <headless/servers.h>

namespace {

using headless::slurp;

struct GameRun {
    int status = -1;
    std::string out;
    std::string err;
};

GameRun runGame(const std::vector<std::string> &env) {
    const std::string dir = headless::makePrivateDir("startup");
    const int out = ::open((dir + "/out").c_str(), O_WRONLY | O_CREAT, 0600);
    const int err = ::open((dir + "/err").c_str(), O_WRONLY | O_CREAT, 0600);
    const pid_t pid = headless::spawnChild({ARROWSONG_BINARY}, env, out, err);
    ::close(out);
    ::close(err);
    GameRun run;
    run.status = headless::waitChild(pid, 20000);
    run.out = slurp(dir + "/out");
    run.err = slurp(dir + "/err");
    headless::removeTree(dir);
    return run;
}

} // namespace

TEST(GameStartup, NoAudioServerEndsWithStatusOneBeforeAnyWindow) {
    const std::string empty = headless::makePrivateDir("noaudio");
    // No display either: had the program gone on to open its window, GLUT
    // would have said so on standard error.
    const GameRun run =
        runGame({"XDG_RUNTIME_DIR=" + empty, "HOME=" + empty, "PULSE_SERVER=unix:/nonexistent",
                 "DISPLAY", "JACK_NO_START_SERVER=1"});
    headless::removeTree(empty);
    ASSERT_TRUE(WIFEXITED(run.status)) << run.err;
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    EXPECT_EQ(run.out, "no audio devices found!\n");
    EXPECT_EQ(run.err.find("freeglut"), std::string::npos) << run.err;
}

// A PulseAudio whose only sink takes nothing but compressed passthrough: the
// library sees its devices, but the stream's output cannot connect. The
// program gives the library's message and ends with status 1 instead of
// entering the event loop with no stream.
TEST(GameStartup, ProgramWhoseStreamCannotOpenEndsWithStatusOne) {
    headless::Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    headless::PulseServer pulse({"module-null-sink sink_name=speaker formats=ac3-iec61937",
                                 "module-null-source source_name=microphone"});
    ASSERT_TRUE(pulse.ok()) << "PulseAudio did not start";
    // The audio library keeps what it set up for the stream it gave up on,
    // and the window's GL buffers are not freed at this end: a sanitized
    // build checks the run for every other fault.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const GameRun run =
        runGame({"DISPLAY=" + x.display(), "XDG_RUNTIME_DIR=" + pulse.runtimeDir(),
                 "HOME=" + pulse.runtimeDir(), "PULSE_SERVER",
                 std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0"});
    ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status << ": " << run.err;
    EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.err;
    // The library's message for each back end tried (PulseAudio first, then
    // ALSA's default device, which leads to the same server) and nothing
    // after them: no block size, no crash report from closing what never
    // opened.
    EXPECT_NE(run.err.find("\nRtApiPulse::probeDeviceOpen: error connecting output to PulseAudio "
                           "server.\n\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Buffer size"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - 2), "\n\n") << run.err;
    EXPECT_EQ(run.out, ""); // no latency line, no goal
}

// ALSA without any sound card: a real audio object whose stream cannot open.
TEST(GameStartup, StreamThatCannotOpenIsReportedAsAFailure) {
    RtAudio audio(RtAudio::LINUX_ALSA);
    ASSERT_EQ(audio.getDeviceCount(), 0u) << "this machine has a sound card";
    std::ostringstream err, out;
    std::streambuf *savedErr = std::cerr.rdbuf(err.rdbuf());
    std::streambuf *savedOut = std::cout.rdbuf(out.rdbuf());
    const bool started = arrowsong::detail::startAudioStream(audio);
    std::cerr.rdbuf(savedErr);
    std::cout.rdbuf(savedOut);
    EXPECT_FALSE(started);
    EXPECT_NE(err.str().find("RtApi::openStream"), std::string::npos)
        << err.str(); // the library's message
    EXPECT_EQ(out.str(), "");
}

// A sound server with no sink and no source: the audio library's PulseAudio
// back end would crash on it, so the program must find it first. With only
// an output, the server's default input is that output's monitor: the game
// would judge its own tone, so it refuses to play.
TEST(GameStartup, ServersWithoutAMicrophoneAreRefusedWithStatusOne) {
    headless::Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const char *asan = std::getenv("ASAN_OPTIONS");
    auto runOn = [&](const headless::PulseServer &pulse) {
        return runGame({"DISPLAY=" + x.display(), "XDG_RUNTIME_DIR=" + pulse.runtimeDir(),
                        "HOME=" + pulse.runtimeDir(), "PULSE_SERVER", "JACK_NO_START_SERVER=1",
                        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0"});
    };
    {
        headless::PulseServer empty({});
        ASSERT_TRUE(empty.ok()) << "PulseAudio did not start";
        const GameRun run = runOn(empty);
        ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status << ": " << run.err;
        EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.err;
        EXPECT_EQ(run.out, "no audio devices found!\n");
    }
    headless::PulseServer speakerOnly(
        {"module-null-sink sink_name=speaker sink_properties=device.description=Speaker"});
    ASSERT_TRUE(speakerOnly.ok()) << "PulseAudio did not start";
    const GameRun run = runOn(speakerOnly);
    ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status << ": " << run.err;
    EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.err;
    EXPECT_NE(run.err.find("There is no microphone: the default input, \"Monitor of Speaker\", is "
                           "the monitor of the output the game plays to"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Buffer size"), std::string::npos) << "no stream opened: " << run.err;
    EXPECT_EQ(run.out, "");
}
