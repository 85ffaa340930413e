// The resamplers pitchtrack could use, on the datasheet's singer converted to
// 48000 Hz: how long each takes to bring it to 44100 Hz, and how far it moves
// the tracked pitch against libsamplerate's best sinc converter.
//
//   resampler_bench [--notes "36 38 ..."] [--repeats N]
//
// (build/dev/bench/pitchtrack/resampler_bench; the notes default to the
// datasheet's, C2 to C6 in whole tones.)
//
// Prints one row per converter: seconds per minute of 48000 Hz audio (the
// best of the repeats), the windows compared, the mean and worst cents
// between its tracked pitch and the reference's where both have one, and the
// windows where only one of them has a pitch.
#include <singer.h>
#include <tracker_input.h>
#include <wavepitch.h>

#include <samplerate.h>
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Signal = std::vector<double>;
using Converter = std::function<Signal(const Signal &, double from, double to)>;

Signal withLibsamplerate(const Signal &in, double from, double to, int kind) {
    std::vector<float> source(in.begin(), in.end());
    std::vector<float> target(static_cast<std::size_t>(std::ceil(in.size() * to / from)) + 64);
    SRC_DATA data{};
    data.data_in = source.data();
    data.input_frames = static_cast<long>(source.size());
    data.data_out = target.data();
    data.output_frames = static_cast<long>(target.size());
    data.src_ratio = to / from;
    data.end_of_input = 1;
    if (const int failure = src_simple(&data, kind, 1))
        throw std::runtime_error(src_strerror(failure));
    return Signal(target.begin(), target.begin() + data.output_frames_gen);
}

Signal withSoxr(const Signal &in, double from, double to, unsigned long recipe) {
    Signal out(static_cast<std::size_t>(std::ceil(in.size() * to / from)) + 64);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
    std::size_t done = 0;
    if (soxr_error_t e = soxr_oneshot(from, to, 1, in.data(), in.size(), nullptr, out.data(),
                                      out.size(), &done, &io, &quality, nullptr))
        throw std::runtime_error(e);
    out.resize(done);
    return out;
}

// The project's own, fed in pitchtrack's blocks.
Signal withOwn(const Signal &in, double from, double /*to*/) {
    pitchtrack::Resampler resampler(from);
    Signal out;
    out.reserve(static_cast<std::size_t>(static_cast<double>(in.size()) * 44100.0 / from) + 64);
    for (std::size_t i = 0; i < in.size(); i += 16384)
        resampler.push(in.data() + i, std::min<std::size_t>(16384, in.size() - i), out);
    resampler.finish(out);
    return out;
}

Signal pitches(const Signal &mono) {
    Signal out;
    _dywapitchtracker record;
    dywapitch_inittracking(&record);
    for (std::size_t start = 0; start + 512 <= mono.size(); start += 512)
        out.push_back(dywapitch_computepitch(&record, mono.data(), static_cast<int>(start), 512));
    return out;
}

struct Row {
    std::string name;
    Converter convert;
};

} // namespace

int main(int argc, char **argv) {
    // The datasheet's notes: C2 to C6 in whole tones.
    std::string noteList;
    for (int midi = 36; midi <= 84; midi += 2)
        noteList += std::to_string(midi) + " ";
    int repeats = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--notes")
            noteList = argv[i + 1];
        else if (arg == "--repeats")
            repeats = std::max(1, std::atoi(argv[i + 1]));
    }
    // The singer at 44100 Hz, brought to 48000 Hz once with the most exact
    // conversion at hand: the recording as a 48 kHz device would have made it.
    Signal sung;
    std::istringstream notes(noteList);
    for (int midi; notes >> midi;) {
        const figures::SungNote note =
            figures::sing(figures::singerNoteFor(midi, 14), 14 + static_cast<std::uint32_t>(midi));
        sung.insert(sung.end(), note.samples.begin(), note.samples.end());
    }
    const Signal recording = withSoxr(sung, 44100.0, 48000.0, SOXR_VHQ);
    const double minutes = static_cast<double>(recording.size()) / 48000.0 / 60.0;

    const std::vector<Row> rows = {
        {"libsamplerate best sinc",
         [](const Signal &s, double f, double t) {
             return withLibsamplerate(s, f, t, SRC_SINC_BEST_QUALITY);
         }},
        {"libsamplerate medium sinc",
         [](const Signal &s, double f, double t) {
             return withLibsamplerate(s, f, t, SRC_SINC_MEDIUM_QUALITY);
         }},
        {"libsamplerate fastest sinc",
         [](const Signal &s, double f, double t) {
             return withLibsamplerate(s, f, t, SRC_SINC_FASTEST);
         }},
        {"libsoxr HQ",
         [](const Signal &s, double f, double t) { return withSoxr(s, f, t, SOXR_HQ); }},
        {"libsoxr QQ",
         [](const Signal &s, double f, double t) { return withSoxr(s, f, t, SOXR_QQ); }},
        {"pitchtrack's own", withOwn},
    };
    std::printf("# %.1f minutes of the singer at 48000 Hz to 44100 Hz; best of %d runs\n", minutes,
                repeats);
    std::printf("%-28s %10s %8s %10s %10s %12s\n", "converter", "s_per_min", "windows",
                "mean_cents", "worst_cents", "voicing_diff");
    Signal reference;
    for (const Row &row : rows) {
        double best = 1e30;
        Signal converted;
        for (int r = 0; r < repeats; ++r) {
            const auto begin = std::chrono::steady_clock::now();
            converted = row.convert(recording, 48000.0, 44100.0);
            best = std::min(
                best,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        }
        const Signal tracked = pitches(converted);
        if (reference.empty())
            reference = tracked;
        double sum = 0.0, worst = 0.0;
        long compared = 0, voicing = 0;
        for (std::size_t i = 0; i < std::min(tracked.size(), reference.size()); ++i) {
            if ((tracked[i] > 0.0) != (reference[i] > 0.0)) {
                ++voicing;
            } else if (tracked[i] > 0.0) {
                const double cents = std::fabs(1200.0 * std::log2(tracked[i] / reference[i]));
                sum += cents;
                worst = std::max(worst, cents);
                ++compared;
            }
        }
        std::printf("%-28s %10.4f %8ld %10.3f %10.3f %12ld\n", row.name.c_str(), best / minutes,
                    compared, compared ? sum / static_cast<double>(compared) : 0.0, worst, voicing);
    }
    return 0;
}
