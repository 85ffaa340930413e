#include "mono_audio.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <memory>

namespace pitchtrack {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

} // namespace

std::vector<double> mixToMono(const std::vector<double> &interleaved, int channels) {
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    std::vector<double> mono(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[i * channels + c];
        mono[i] = sum / channels;
    }
    return mono;
}

bool resampleTo44100(const std::vector<double> &in, int rate, std::vector<double> &out,
                     std::string &error) {
    // libsamplerate works in single precision; that is ample for the
    // conversion, and files already at 44100 Hz keep full precision.
    const double ratio = static_cast<double>(kTrackerRate) / rate;
    std::vector<float> from(in.begin(), in.end());
    std::vector<float> to(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = from.data();
    data.input_frames = static_cast<long>(from.size());
    data.data_out = to.data();
    data.output_frames = static_cast<long>(to.size());
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (const int failure = src_simple(&data, SRC_SINC_BEST_QUALITY, 1)) {
        error = std::string("cannot resample: ") + src_strerror(failure);
        return false;
    }
    out.assign(to.begin(), to.begin() + data.output_frames_gen);
    return true;
}

bool loadMono(const std::string &path, MonoAudio &audio, std::string &error) {
    SF_INFO info{};
    SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        error = path + ": cannot read: " + sf_strerror(nullptr);
        return false;
    }
    if (info.frames <= 0 || info.channels <= 0) {
        error = path + ": holds no audio";
        return false;
    }
    std::vector<double> interleaved(static_cast<std::size_t>(info.frames) *
                                    static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_double(file.get(), interleaved.data(), info.frames);
    if (got <= 0) {
        error = path + ": cannot read its samples: " + sf_strerror(file.get());
        return false;
    }
    interleaved.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
    audio.fileRate = info.samplerate;
    audio.fileChannels = info.channels;
    std::vector<double> mono = mixToMono(interleaved, info.channels);
    if (info.samplerate == kTrackerRate) {
        audio.samples = std::move(mono);
        return true;
    }
    if (!resampleTo44100(mono, info.samplerate, audio.samples, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace pitchtrack
