// Trouble the audio library reports while the stream runs: a storm of
// reports stops the stream with one message, a passing warning stops nothing.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio_internal.h"
#include "game_fixture.h"
#include "stream_trouble.h"
#include <game/audio.h>

namespace {

using arrowsong::detail::StreamTrouble;

constexpr unsigned kFrames = 64;
const std::string kStopLine =
    "The audio stream has stopped: no tone and no listening until a restart.\n";

// The game's own callback and its trouble record, the tone on throughout, so
// that a block that still plays is not silent.
class StreamTroubleTest : public GameTest {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        trouble_.clear();
        gen_sine = true;
    }
    void TearDown() override {
        trouble_.clear();
        GameTest::TearDown();
    }
    // One block through the callback; returns its result.
    int block() {
        out_.assign(kFrames, 9.0);
        return audioCallback(out_.data(), in_.data(), kFrames, 0.0, 0, nullptr);
    }
    bool silent() const {
        for (double v : out_)
            if (v != 0.0)
                return false;
        return true;
    }
    // What the main thread prints between two frames.
    std::string news() {
        std::ostringstream err;
        trouble_.printNews(err);
        return err.str();
    }

    StreamTrouble &trouble_ = arrowsong::detail::streamTrouble();
    std::vector<double> out_, in_ = std::vector<double>(kFrames, 0.0);
};

} // namespace

TEST_F(StreamTroubleTest, StormStopsTheStreamOnceWithOneMessage) {
    const std::string lost = "RtApiPulse::callbackEvent: audio write error, Connection terminated.";
    int firstStop = -1;
    for (int b = 0; b < 4 * static_cast<int>(StreamTrouble::kStormBlocks); ++b) {
        trouble_.report(RtAudioError::WARNING, lost);
        const int result = block();
        if (result == 2 && firstStop < 0)
            firstStop = b;
        if (firstStop < 0) {
            ASSERT_EQ(result, 0) << "block " << b;
            ASSERT_FALSE(silent()) << "block " << b;
        } else {
            ASSERT_EQ(result, 2) << "block " << b; // stopped for good
            ASSERT_TRUE(silent()) << "block " << b;
        }
    }
    // One report before every block of the first window.
    EXPECT_EQ(firstStop, static_cast<int>(StreamTrouble::kStormBlocks) - 1);
    EXPECT_TRUE(trouble_.failed());
    EXPECT_EQ(news(), "\n" + lost + "\n\n" + kStopLine);
    for (int i = 0; i < 1000; ++i)
        trouble_.report(RtAudioError::WARNING, "a later report");
    EXPECT_EQ(news(), "");
}

TEST_F(StreamTroubleTest, StormFromMidWindowIsCaughtByTheNextWindow) {
    const int storm = static_cast<int>(StreamTrouble::kStormBlocks);
    int b = 0;
    for (; b < 10; ++b)
        ASSERT_EQ(block(), 0);
    while (b < 10 + 2 * storm) {
        trouble_.report(RtAudioError::WARNING, "write error");
        ++b;
        if (block() == 2)
            break;
    }
    // The window in which it began counts too few; the next one is full.
    EXPECT_EQ(b, 2 * storm);
    EXPECT_TRUE(trouble_.failed());
}

TEST_F(StreamTroubleTest, PassingWarningsStopNothing) {
    trouble_.report(RtAudioError::WARNING, "RtApiPulse: a passing warning");
    for (unsigned b = 0; b < 10 * StreamTrouble::kStormBlocks; ++b) {
        ASSERT_EQ(block(), 0) << "block " << b;
        // A report at every other block is half a storm.
        if (b % 2 == 0)
            trouble_.report(RtAudioError::WARNING, "another warning");
    }
    EXPECT_FALSE(silent()); // the tone still plays
    EXPECT_FALSE(trouble_.failed());
    EXPECT_EQ(news(), "\nRtApiPulse: a passing warning\n\n"); // the first one, no stop line
    EXPECT_EQ(news(), "");
}

TEST_F(StreamTroubleTest, WorseThanAWarningStopsAtTheNextBlock) {
    ASSERT_EQ(block(), 0);
    EXPECT_EQ(news(), "");
    trouble_.report(RtAudioError::DRIVER_ERROR, "RtApiPulse: the device has gone");
    EXPECT_TRUE(trouble_.failed()); // what start-up checks after starting the stream
    EXPECT_EQ(block(), 2);
    EXPECT_TRUE(silent());
    EXPECT_EQ(news(), "\nRtApiPulse: the device has gone\n\n" + kStopLine);
}

TEST_F(StreamTroubleTest, LongMessageIsCutToItsStorage) {
    trouble_.report(RtAudioError::WARNING, std::string(5000, 'x'));
    EXPECT_EQ(news(), "\n" + std::string(511, 'x') + "\n\n");
}

TEST_F(StreamTroubleTest, AStreamOpenedAgainStartsWithACleanSlate) {
    // One warning in the old stream's last window, then the stream is opened
    // again: the new one runs on without a report and is never stopped, and
    // its own first warning is printed.
    trouble_.report(RtAudioError::WARNING, "RtApiPulse: a passing underrun");
    for (unsigned b = 0; b < StreamTrouble::kStormBlocks + 5; ++b)
        block();
    EXPECT_NE(news(), "");
    trouble_.clear();
    for (unsigned b = 0; b < 4 * StreamTrouble::kStormBlocks; ++b)
        ASSERT_EQ(block(), 0) << "block " << b;
    EXPECT_FALSE(trouble_.failed());
    EXPECT_EQ(news(), "");
    trouble_.report(RtAudioError::WARNING, "RtApiPulse: another");
    EXPECT_EQ(news(), "\nRtApiPulse: another\n\n");
}
