#include "mono_audio.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace pitchtrack {

struct AudioFile::Handle {
    SNDFILE *file = nullptr;
    ~Handle() {
        if (file)
            sf_close(file);
    }
};

AudioFile::AudioFile() = default;
AudioFile::~AudioFile() = default;

bool AudioFile::open(const std::string &path, std::string &error) {
    SF_INFO info{};
    auto handle = std::make_unique<Handle>();
    handle->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!handle->file) {
        error = path + ": cannot read: " + sf_strerror(nullptr);
        return false;
    }
    if (info.frames <= 0 || info.channels <= 0) {
        error = path + ": holds no audio";
        return false;
    }
    file_ = std::move(handle);
    path_ = path;
    rate_ = info.samplerate;
    channels_ = info.channels;
    format_ = info.format;
    frames_ = info.frames;
    read_ = 0;
    return true;
}

bool AudioFile::read(std::vector<double> &block, std::size_t frames) {
    block.resize(frames * static_cast<std::size_t>(channels_));
    const sf_count_t got =
        sf_readf_double(file_->file, block.data(), static_cast<sf_count_t>(frames));
    const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
    block.resize(count * static_cast<std::size_t>(channels_));
    read_ += static_cast<long long>(count);
    return count > 0;
}

namespace {

// Bytes per sample of the plain encodings; 0 for compressed ones.
int sampleBytes(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 1;
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

} // namespace

std::string AudioFile::endedEarly() const {
    long long promised = frames_;
    // For WAV, AIFF and their kin the library counts the frames that are
    // there, not the header's; its log keeps the size the data chunk claimed
    // beside the size it has ("data : 176400 (should be 49956)").
    char log[8192] = "";
    sf_command(file_->file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    const long long frameBytes = static_cast<long long>(sampleBytes(format_)) * channels_;
    for (std::string line; std::getline(lines, line);) {
        long long claimed = 0, held = 0;
        // 0xffffffff is what programs writing to a pipe put there: it
        // promises nothing.
        if ((std::sscanf(line.c_str(), " data : %lld (should be %lld)", &claimed, &held) == 2 ||
             std::sscanf(line.c_str(), " SSND : %lld (should be %lld)", &claimed, &held) == 2) &&
            claimed > held && held > 0 && claimed != 0xffffffffLL) {
            const long long missing =
                frameBytes > 0 ? (claimed - held) / frameBytes
                               : static_cast<long long>(static_cast<double>(read_) *
                                                        static_cast<double>(claimed - held) /
                                                        static_cast<double>(held));
            promised = std::max(promised, read_ + missing);
        }
    }
    if (read_ >= promised)
        return "";
    return path_ + ": ends early: holds " + std::to_string(read_) + " of the " +
           std::to_string(promised) + " frames its header promises";
}

bool loadMono(const std::string &path, MonoAudio &audio, std::string &error) {
    AudioFile file;
    if (!file.open(path, error))
        return false;
    audio.fileRate = file.rate();
    audio.fileChannels = file.channels();
    error = TrackerStream::check(file.rate(), file.channels(), 4, 1);
    if (!error.empty()) {
        error = path + ": " + error;
        return false;
    }
    audio.samples.clear();
    Resampler resampler(file.rate());
    const bool convert = file.rate() != kTrackerRate;
    std::vector<double> block, mono;
    while (file.read(block, 1 << 16)) {
        const std::size_t frames = block.size() / static_cast<std::size_t>(file.channels());
        mono.resize(frames);
        mixToMono(block.data(), frames, file.channels(), mono.data());
        if (convert)
            resampler.push(mono.data(), frames, audio.samples);
        else
            audio.samples.insert(audio.samples.end(), mono.begin(), mono.end());
    }
    if (convert)
        resampler.finish(audio.samples);
    audio.endedEarly = file.endedEarly();
    if (audio.samples.empty()) {
        error = path + ": cannot read its samples: " + sf_strerror(nullptr);
        return false;
    }
    return true;
}

} // namespace pitchtrack
