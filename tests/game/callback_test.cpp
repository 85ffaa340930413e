// The audio callback: the goal tone sample by sample, and the tracker results
// it stores, against running dywapitch_computepitch at every frame.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <game/audio.h>
#include <game/controls.h>
#include <game/rules.h>

#include "audio_block.h"
#include "game_fixture.h"
#include "sung_signals.h"

namespace {

constexpr double K = 6.283185307379586;

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

int callback(std::vector<double> &out, std::vector<double> &in) {
    return audioCallback(out.data(), in.data(), static_cast<unsigned>(out.size()), 0.0, 0, nullptr);
}

// Per-frame listening and the frames at which listening was switched on (a
// press, which asks for a tracker reset).
struct Script {
    std::vector<bool> listen;
    std::vector<bool> pressed;
};

// Control values read from a script, as the shared flags would be if the
// main thread flipped them between two frames of one block.
struct ScriptedControl {
    const Script &script;
    bool pendingReset = false;
    unsigned frame = 0;
    bool tone(unsigned) const { return false; }
    double freq(unsigned) const { return 440.0; }
    bool listen(unsigned i) {
        frame = i;
        pendingReset = pendingReset || script.pressed[i];
        return script.listen[i];
    }
    bool takeReset() {
        const bool r = pendingReset;
        pendingReset = false;
        return r;
    }
};

// How the tracking stage's record went within one block of the reference: a
// step that left the record as it found it is a settled state, from which
// every later step with the same estimate repeats itself.
struct Settling {
    bool reached = false; // some step left the record unchanged
    bool left = false;    // after that, the record changed all the same
    bool listened = false;
};

bool sameRecord(const _dywapitchtracker &a, const _dywapitchtracker &b) {
    return bits(a._lastPitch) == bits(b._lastPitch) && a._confidence == b._confidence;
}

// The reference: the tracker over the whole block at every listening frame.
void referenceBlock(const std::vector<double> &in, const Script &script, _dywapitchtracker &tracker,
                    std::vector<double> &pitches, bool &pending, Settling *settling = nullptr) {
    const int n = static_cast<int>(in.size());
    _dywapitchtracker settled{};
    Settling local;
    for (unsigned i = 0; i < in.size(); ++i) {
        pending = pending || script.pressed[i];
        if (!script.listen[i])
            continue;
        if (pending)
            dywapitch_inittracking(&tracker);
        pending = false;
        const _dywapitchtracker before = tracker;
        if (local.reached && !sameRecord(before, settled))
            local.left = true;
        const double p = dywapitch_computepitch(&tracker, in.data(), 0, n);
        if (sameRecord(before, tracker) && !local.reached) {
            local.reached = true;
            settled = before;
        }
        local.listened = true;
        if (p != 0.0 && i < pitches.size())
            pitches[i] = p;
    }
    if (settling != nullptr)
        *settling = local;
}

std::vector<double> randomBlock(std::mt19937 &rng, unsigned frames) {
    std::uniform_real_distribution<double> freq(70.0, 1200.0);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<double> in;
    switch (rng() % 6) {
    case 0:
        in.assign(frames, 0.0);
        break;
    case 1:
        in.resize(frames);
        for (double &s : in)
            s = noise(rng);
        break;
    case 2: // a broken sample: no estimate, a gap the history bridges
        in = testsignal::voice(freq(rng), frames);
        in[rng() % frames] = std::numeric_limits<double>::quiet_NaN();
        break;
    default:
        in = testsignal::voice(freq(rng), frames, rng() % 10000, 0.1 + 0.8 * (rng() % 8) / 8.0);
    }
    return in;
}

Script randomScript(std::mt19937 &rng, unsigned frames, bool &listening) {
    Script s{std::vector<bool>(frames), std::vector<bool>(frames)};
    std::vector<unsigned> switches;
    for (unsigned k = rng() % 4; k > 0; --k)
        switches.push_back(static_cast<unsigned>(rng() % frames));
    for (unsigned i = 0; i < frames; ++i) {
        for (unsigned at : switches)
            if (at == i) {
                listening = !listening;
                s.pressed[i] = listening && rng() % 2 == 0;
            }
        s.listen[i] = listening;
    }
    return s;
}

} // namespace

using CallbackTest = GameTest;

TEST_F(CallbackTest, SilentWhileNoToneAndPhaseHolds) {
    std::vector<double> out(512, 7.0), in = testsignal::voice(220.0, 512);
    g_t = 1234.0;
    EXPECT_EQ(callback(out, in), 0);
    for (double s : out)
        ASSERT_EQ(bits(s), bits(0.0));
    EXPECT_EQ(g_t, 1234.0);
}

TEST_F(CallbackTest, ToneIsBitExactAndItsPhaseNeverResets) {
    std::vector<double> out(512), in(512, 0.0);
    gen_sine = true;
    callback(out, in);
    EXPECT_EQ(bits(out[0]), bits(0.0)); // the first tone of a run starts at 0
    for (unsigned i = 0; i < 512; ++i)
        ASSERT_EQ(bits(out[i]), bits(std::sin(K * 440.0 * static_cast<double>(i) / 44100.0)));
    EXPECT_EQ(g_t, 512.0);

    gen_sine = false; // a pause does not advance the phase
    callback(out, in);
    g_freq = 261.6255653005986;
    gen_sine = true;
    callback(out, in);
    EXPECT_EQ(bits(out[0]), bits(std::sin(K * 261.6255653005986 * 512.0 / 44100.0)));
    EXPECT_EQ(g_t, 1024.0);
}

TEST_F(CallbackTest, ToneUsesTheGameConstantInItsOrder) {
    std::vector<double> out(1), in(1, 0.0);
    gen_sine = true;
    g_t = 100.0;
    callback(out, in);
    EXPECT_EQ(bits(out[0]), bits(std::sin(6.283185307379586 * 440.0 * 100.0 / 44100.0)));
    // 2*pi would give another sample: the constant is part of the sound.
    EXPECT_NE(bits(out[0]), bits(std::sin(2.0 * M_PI * 440.0 * 100.0 / 44100.0)));
}

TEST_F(CallbackTest, StoredPitchesMatchTrackingAtEveryFrame) {
    std::mt19937 rng(20261207);
    _dywapitchtracker reference;
    dywapitch_inittracking(&reference);
    std::vector<double> expected(kPitchFrames, 0.0);
    bool listening = false;
    bool pending = false;
    unsigned nonzero = 0;
    for (int block = 0; block < 400; ++block) {
        const std::vector<double> in = randomBlock(rng, 512);
        const Script script = randomScript(rng, 512, listening);
        std::vector<double> out(512);
        ScriptedControl control{script};
        arrowsong::detail::renderBlock(out.data(), in.data(), 512, control);
        referenceBlock(in, script, reference, expected, pending);
        for (unsigned i = 0; i < kPitchFrames; ++i)
            ASSERT_EQ(bits(pitchArray[i]), bits(expected[i]))
                << "block " << block << " frame " << i;
        ASSERT_EQ(bits(pitchtracker._lastPitch), bits(reference._lastPitch)) << "block " << block;
        ASSERT_EQ(pitchtracker._confidence, reference._confidence) << "block " << block;
        for (double p : expected)
            nonzero += p != 0.0;
    }
    EXPECT_GT(nonzero, 10000u); // the comparison covered real pitches
}

// Sung material, where the tracking stage settles within a few frames of most
// blocks. The scripts also knock it out of that state mid-block (a press
// resets the record; listening pauses and resumes) and keep it from ever
// settling (listening for the last frames only, or a press every few frames).
TEST_F(CallbackTest, SungMaterialMatchesTrackingAtEveryFrame) {
    constexpr unsigned kBlocks = 360;
    const std::vector<double> phrase = testsignal::sungPhrase(kBlocks);
    std::mt19937 rng(1407);
    _dywapitchtracker reference;
    dywapitch_inittracking(&reference);
    std::vector<double> expected(kPitchFrames, 0.0);
    bool pending = false;
    unsigned reached = 0, left = 0, never = 0, nonzero = 0;
    for (unsigned block = 0; block < kBlocks; ++block) {
        const std::vector<double> in(phrase.begin() + block * 512,
                                     phrase.begin() + (block + 1) * 512);
        Script script{std::vector<bool>(512, true), std::vector<bool>(512, false)};
        const unsigned at = 64 + static_cast<unsigned>(rng() % 384);
        switch (block % 6) {
        case 0: // a press mid-block resets the record
            script.pressed[at] = true;
            break;
        case 1: // listening pauses, then resumes with or without a press
            for (unsigned i = at; i < at + 20; ++i)
                script.listen[i] = false;
            script.pressed[at + 20] = rng() % 2 == 0;
            break;
        case 2: // listening starts only in the last frames
            for (unsigned i = 0; i < 509; ++i)
                script.listen[i] = false;
            script.pressed[509] = true;
            break;
        case 3: // a press every few frames
            for (unsigned i = 0; i < 512; i += 2 + block % 3)
                script.pressed[i] = true;
            break;
        default: // listening throughout
            break;
        }
        std::vector<double> out(512);
        ScriptedControl control{script};
        arrowsong::detail::renderBlock(out.data(), in.data(), 512, control);
        Settling settling;
        referenceBlock(in, script, reference, expected, pending, &settling);
        for (unsigned i = 0; i < kPitchFrames; ++i)
            ASSERT_EQ(bits(pitchArray[i]), bits(expected[i]))
                << "block " << block << " frame " << i;
        ASSERT_EQ(bits(pitchtracker._lastPitch), bits(reference._lastPitch)) << "block " << block;
        ASSERT_EQ(pitchtracker._confidence, reference._confidence) << "block " << block;
        reached += settling.reached;
        left += settling.left;
        never += settling.listened && !settling.reached;
        for (unsigned i = 0; i < kPitchFrames; ++i)
            nonzero += expected[i] != 0.0 && i > 0;
    }
    // Every kind of block occurred often enough to mean something.
    EXPECT_GT(reached, kBlocks / 2);
    EXPECT_GT(left, kBlocks / 10);
    EXPECT_GT(never, kBlocks / 20);
    EXPECT_GT(nonzero, 50000u);
}

TEST_F(CallbackTest, LiveCallbackMatchesTrackingAtEveryFrame) {
    _dywapitchtracker reference;
    dywapitch_inittracking(&reference);
    std::vector<double> expected(kPitchFrames, 0.0);
    bool pending = false;
    const Script on{std::vector<bool>(512, true), std::vector<bool>(512, false)};
    pitch_listen = true;
    for (int block = 0; block < 40; ++block) {
        std::vector<double> in = testsignal::voice(150.0 + 10.0 * block, 512, 512ul * block);
        std::vector<double> out(512);
        callback(out, in);
        referenceBlock(in, on, reference, expected, pending);
        for (unsigned i = 0; i < kPitchFrames; ++i)
            ASSERT_EQ(bits(pitchArray[i]), bits(expected[i])) << "block " << block;
    }
}

TEST_F(CallbackTest, LargerBlockPlaysEveryFrameAndStoresOnlyTheFirst512) {
    std::vector<double> out(2048), in = testsignal::voice(300.0, 2048);
    gen_sine = true;
    pitch_listen = true;
    callback(out, in);
    EXPECT_EQ(g_t, 2048.0);
    EXPECT_EQ(bits(out[2047]), bits(std::sin(K * 440.0 * 2047.0 / 44100.0)));
    for (unsigned i = 0; i < kPitchFrames; ++i)
        ASSERT_NEAR(pitchArray[i], 300.0, 3.0) << i;
    // Under AddressSanitizer a store past entry 511 fails this test.
}

TEST_F(CallbackTest, EmptyBlockAndEmptyGrantAreHarmless) {
    gen_sine = true;
    pitch_listen = true;
    double sample = 0.0;
    EXPECT_EQ(audioCallback(&sample, &sample, 0, 0.0, 0, nullptr), 0);
    EXPECT_EQ(g_t, 0.0);
    bufferSize = 0;
    EXPECT_EQ(computePitchAverage(), 0.0); // no entries: no pitch, not NaN
    EXPECT_EQ(average, 0.0);
}

// After a steady round the tracker trusts its pitch; if that history carried
// over, a goal about an octave away would be folded onto half or double the
// new pitch for the whole round.
TEST_F(CallbackTest, EachPressStartsTrackingAfresh) {
    auto sing = [](double freq) {
        unsigned long frame = 0;
        for (int block = 0; block < 40; ++block, frame += 512) {
            std::vector<double> in = testsignal::voice(freq, 512, frame), out(512);
            callback(out, in);
        }
    };
    mouseFunc(kLeftButton, kButtonDown, 0, 0);
    sing(196.0);
    mouseFunc(kLeftButton, kButtonUp, 0, 0);
    EXPECT_NEAR(average, 196.0, 196.0 * 0.005);
    mouseFunc(kRightButton, kButtonDown, 0, 0);
    sing(466.0);
    mouseFunc(kRightButton, kButtonUp, 0, 0);
    EXPECT_NEAR(average, 466.0, 466.0 * 0.005);

    keyboardFunc('l', 0, 0); // listening by key starts afresh too
    sing(196.0);
    keyboardFunc(';', 0, 0);
    EXPECT_NEAR(pitchArray[0], 196.0, 1.0);
}
