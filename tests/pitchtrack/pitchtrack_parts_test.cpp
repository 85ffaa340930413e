// pitchtrack's parts on their own: note names, the live monitor's windows and
// warnings, the ring that carries samples out of the audio callback, and the
// streaming core that files and the Python module go through.
#include "live_windows.h"
#include "notes.h"
#include "sample_ring.h"
#include "signals.h"
#include "tracker_input.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace pitchtrack;

TEST(PitchtrackNotes, NamesAndNumbers) {
    const struct {
        const char *text;
        int note;
    } good[] = {{"57", 57},  {"0", 0},    {"127", 127}, {"A4", 57},   {"A3", 45},
                {"C4", 48},  {"G3", 43},  {"F#4", 54},  {"Bb3", 46},  {"e2", 28},
                {"B#3", 48}, {"Cb4", 47}, {"C0", 0},    {"G10", 127}, {"007", 7}};
    for (const auto &g : good) {
        int note = -5;
        EXPECT_TRUE(parseNote(g.text, note)) << g.text;
        EXPECT_EQ(note, g.note) << g.text;
    }
    for (const char *bad : {"", "128", "-3", "G#10", "Cb0", "H2", "A", "#4", "A4b", "Ab", "4.0",
                            " 57", "A 4", "1000"}) {
        int note = -5;
        EXPECT_FALSE(parseNote(bad, note)) << bad;
        EXPECT_EQ(note, -5) << bad;
    }
    EXPECT_EQ(noteName(45), "A3");
    EXPECT_EQ(noteName(48), "C4");
    EXPECT_EQ(noteName(49), "C#4");
    EXPECT_EQ(noteName(0), "C0");
    EXPECT_EQ(noteName(-1), "B-1");
    EXPECT_EQ(noteName(-12), "C-1");
}

TEST(PitchtrackNotes, NearestNoteAndCents) {
    EXPECT_EQ(nearestNote(440.0).note, 57);
    EXPECT_EQ(nearestNote(440.0).cents, 0);
    EXPECT_EQ(nearestNote(261.63).note, 48);
    // 30 cents above A3, and 30 below A#3 from the other side of the middle.
    EXPECT_EQ(nearestNote(220.0 * std::pow(2.0, 30.0 / 1200)).cents, 30);
    const NearestNote above = nearestNote(220.0 * std::pow(2.0, 70.0 / 1200));
    EXPECT_EQ(above.note, 46);
    EXPECT_EQ(above.cents, -30);
}

// Windows as file mode takes them from the same samples, however the samples
// arrive: the times, and the pitch of every window.
TEST(PitchtrackLive, WindowsMatchOneRecordOverTheWholeStream) {
    const auto tone = signals::sine(196.0, 20000);
    for (const int hop : {512, 200, 1500}) {
        WindowFeed feed(1024, hop);
        std::vector<WindowResult> got;
        // Pieces of uneven sizes, as blocks come from a device.
        std::size_t piece = 1;
        for (std::size_t at = 0; at < tone.size(); at += piece, piece = piece * 3 % 997) {
            feed.append(tone.data() + at, std::min(piece, tone.size() - at));
            for (WindowResult r; feed.next(r);)
                got.push_back(r);
        }
        _dywapitchtracker tracker;
        dywapitch_inittracking(&tracker);
        std::size_t i = 0;
        for (int start = 0; start + 1024 <= static_cast<int>(tone.size()); start += hop, ++i) {
            ASSERT_LT(i, got.size()) << "hop " << hop;
            EXPECT_DOUBLE_EQ(got[i].time, start / 44100.0);
            EXPECT_EQ(got[i].pitch, dywapitch_computepitch(&tracker, tone.data(), start, 1024));
            EXPECT_NEAR(got[i].peak, 0.5, 0.01);
            EXPECT_FALSE(got[i].clipped);
        }
        EXPECT_EQ(got.size(), i) << "hop " << hop;
    }
}

TEST(PitchtrackLive, LinesAndStatus) {
    WindowResult r;
    r.time = 1.5;
    r.pitch = 220.0 * std::pow(2.0, 12.0 / 1200);
    r.peak = 0.125;
    EXPECT_EQ(plainLine(r), "1.500000 221.530 A3 12 -18.1");
    const std::string status = statusLine(r);
    EXPECT_NE(status.find("A3"), std::string::npos) << status;
    EXPECT_NE(status.find("+12 cents [-----|o----]"), std::string::npos) << status;
    EXPECT_NE(status.find("-18.1 dBFS [##############......]"), std::string::npos) << status;
    // The meter's cell is the nearest ten cents: +17 is the second cell up.
    r.pitch = 220.0 * std::pow(2.0, 17.0 / 1200);
    EXPECT_NE(statusLine(r).find("+17 cents [-----|-o---]"), std::string::npos) << statusLine(r);

    r.pitch = 0.0;
    r.peak = 0.0;
    EXPECT_EQ(plainLine(r), "1.500000 0.000 - 0 -inf");
    EXPECT_NE(statusLine(r).find("[-----|-----]   -inf dBFS [....................]"),
              std::string::npos)
        << statusLine(r);
    r.peak = 1.0;
    r.clipped = true;
    EXPECT_NE(statusLine(r).find("[####################] CLIP"), std::string::npos);
}

// Each warning once per episode: 2 s of silence; full-scale samples, again
// only after 2 s without them.
TEST(PitchtrackLive, WarningsOncePerEpisode) {
    SignalWatch watch(512);
    const double step = 512 / 44100.0;
    auto window = [&](int i, double peak) {
        WindowResult r;
        r.time = i * step;
        r.peak = peak;
        r.clipped = peak >= kFullScale;
        return watch.look(r);
    };
    int silent = 0, clipping = 0, i = 0;
    auto run = [&](double seconds, double peak) {
        for (const int end = i + static_cast<int>(seconds / step); i < end; ++i) {
            const auto w = window(i, peak);
            silent += w.silent;
            clipping += w.clipping;
        }
    };
    run(1.9, 0.0005); // below -60 dBFS, but not for 2 s yet
    EXPECT_EQ(silent, 0);
    run(5.0, 0.0);
    EXPECT_EQ(silent, 1);
    run(0.1, 0.2); // a signal ends the episode
    run(2.5, 0.0);
    EXPECT_EQ(silent, 2);
    run(1.0, 0.3);
    run(1.0, 1.0);
    EXPECT_EQ(clipping, 1);
    run(1.5, 0.3); // less than 2 s without clipping: the same episode
    run(0.5, 1.0);
    EXPECT_EQ(clipping, 1);
    run(2.5, 0.3);
    run(0.1, 1.0);
    EXPECT_EQ(clipping, 2);
    EXPECT_EQ(silent, 2);
}

TEST(PitchtrackRing, KeepsOrderAndStopsWhenFull) {
    SampleRing ring(100);
    EXPECT_EQ(ring.capacity(), 128u);
    std::vector<double> in(200), out(200);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<double>(i);
    EXPECT_EQ(ring.push(in.data(), 100), 100u);
    EXPECT_EQ(ring.pop(out.data(), 60), 60u);
    // Wraps round the end of the storage; only what fits is taken.
    EXPECT_EQ(ring.push(in.data() + 100, 100), 88u);
    EXPECT_EQ(ring.pop(out.data() + 60, 200), 128u);
    for (std::size_t i = 0; i < 188; ++i)
        ASSERT_EQ(out[i], static_cast<double>(i));
    EXPECT_EQ(ring.pop(out.data(), 10), 0u);
}

// An audio thread and the main thread at once (run under ThreadSanitizer
// too): every sample arrives once, in order, whatever the interleaving.
TEST(PitchtrackRing, OneProducerOneConsumer) {
    SampleRing ring(1024);
    constexpr std::size_t kTotal = 1u << 20;
    std::thread producer([&] {
        std::vector<double> block(512);
        std::size_t next = 0;
        while (next < kTotal) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<double>(next + i);
            std::size_t sent = 0;
            while (sent < block.size())
                sent += ring.push(block.data() + sent, block.size() - sent);
            next += block.size();
        }
    });
    std::vector<double> chunk(700);
    std::size_t expected = 0;
    bool inOrder = true;
    while (expected < kTotal) {
        const std::size_t n = ring.pop(chunk.data(), chunk.size());
        for (std::size_t i = 0; i < n; ++i)
            inOrder = inOrder && chunk[i] == static_cast<double>(expected + i);
        expected += n;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, kTotal);
}

// The windows of interleaved frames pushed in blocks of the given sizes, in
// turn, and then finished.
std::vector<WindowPitch> streamed(const std::vector<double> &frames, double rate, int channels,
                                  int window, long long hop, std::vector<std::size_t> blocks) {
    TrackerStream stream(rate, channels, window, hop);
    std::vector<WindowPitch> out;
    const std::size_t total = frames.size() / static_cast<std::size_t>(channels);
    for (std::size_t at = 0, b = 0; at < total; ++b) {
        const std::size_t n = std::min(blocks[b % blocks.size()], total - at);
        stream.push(frames.data() + at * static_cast<std::size_t>(channels), n, out);
        at += n;
    }
    stream.finish(out);
    return out;
}

bool sameBits(const std::vector<WindowPitch> &a, const std::vector<WindowPitch> &b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

TEST(PitchtrackStream, BlocksOfAnySizeGiveTheSameWindows) {
    // A stereo glide at 48000 Hz: the same windows to the bit, whatever the
    // blocks, for hops shorter and longer than the window.
    std::vector<double> frames;
    for (int i = 0; i < 30000; ++i) {
        const double v = 0.5 * std::sin(0.03 * i + 1e-6 * i * i);
        frames.insert(frames.end(), {v, 0.25 * v});
    }
    for (const double rate : {48000.0, 44100.0}) {
        for (const auto &[window, hop] : {std::pair{1024, 256LL}, {512, 3000LL}}) {
            const auto whole = streamed(frames, rate, 2, window, hop, {30000});
            ASSERT_GT(whole.size(), 5u);
            EXPECT_TRUE(sameBits(whole, streamed(frames, rate, 2, window, hop, {1, 7, 300})));
            EXPECT_TRUE(sameBits(whole, streamed(frames, rate, 2, window, hop, {4096, 999})));
            EXPECT_EQ(whole[1].time, static_cast<double>(hop) / 44100.0);
        }
    }
    // A hop past any end leaves one window, however long the input.
    const auto one = streamed(frames, 44100.0, 2, 512, LLONG_MAX, {1000});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].time, 0.0);
}

TEST(PitchtrackStream, ResamplingKeepsTheWave) {
    // A sine and its octave at each rate come out as the same wave sampled at
    // 44100 Hz, from the first sample to the last, within 1e-3 (-60 dB) away
    // from the two edges, where the filter sees silence beyond the signal.
    for (const double rate : {48000.0, 22050.0, 96000.0, 8000.0, 44100.5}) {
        const double hz = std::min(1000.0, rate / 8);
        std::vector<double> in(static_cast<std::size_t>(rate)); // one second
        for (std::size_t i = 0; i < in.size(); ++i) {
            const double t = static_cast<double>(i) / rate;
            in[i] = 0.4 * std::sin(2 * M_PI * hz * t) + 0.2 * std::sin(4 * M_PI * hz * t);
        }
        Resampler resampler(rate);
        std::vector<double> out;
        for (std::size_t at = 0; at < in.size(); at += 777)
            resampler.push(in.data() + at, std::min<std::size_t>(777, in.size() - at), out);
        resampler.finish(out);
        // Up to the instant of the last input sample.
        EXPECT_EQ(out.size(),
                  static_cast<std::size_t>((static_cast<double>(in.size()) - 1) * 44100.0 / rate) +
                      1);
        double worst = 0.0;
        for (std::size_t n = 2000; n + 2000 < out.size(); ++n) {
            const double t = static_cast<double>(n) / 44100.0;
            const double want =
                0.4 * std::sin(2 * M_PI * hz * t) + 0.2 * std::sin(4 * M_PI * hz * t);
            worst = std::max(worst, std::fabs(out[n] - want));
        }
        EXPECT_LT(worst, 1e-3) << rate;
    }
    // Rates past 256 times 44100 Hz either way are refused, as are bad settings.
    EXPECT_EQ(TrackerStream::check(48000, 2, 512, 1), "");
    EXPECT_NE(TrackerStream::check(100, 1, 512, 512).find("cannot resample"), std::string::npos);
    EXPECT_NE(TrackerStream::check(44100, 1, 500, 512), "");
    EXPECT_NE(TrackerStream::check(44100, 0, 512, 512), "");
}

} // namespace
