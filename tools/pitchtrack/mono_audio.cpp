#include "mono_audio.h"

#include <sndfile.h>

#include <memory>

namespace pitchtrack {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

} // namespace

std::vector<double> mixToMono(const std::vector<double> &interleaved, int channels) {
    std::vector<double> mono(interleaved.size() / static_cast<std::size_t>(channels));
    mixToMono(interleaved.data(), mono.size(), channels, mono.data());
    return mono;
}

bool resampleTo44100(const std::vector<double> &in, int rate, std::vector<double> &out,
                     std::string &error) {
    return resampleTo44100(in.data(), in.size(), rate, out, error);
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
