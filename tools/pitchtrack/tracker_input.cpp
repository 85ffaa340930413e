#include "tracker_input.h"

#include <samplerate.h>

#include <cmath>

namespace pitchtrack {

void mixToMono(const double *interleaved, std::size_t frames, int channels, double *mono) {
    const std::size_t width = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < width; ++c)
            sum += interleaved[i * width + c];
        mono[i] = sum / channels;
    }
}

bool resampleTo44100(const double *in, std::size_t count, double rate, std::vector<double> &out,
                     std::string &error) {
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        error = "cannot resample from a rate that is not a positive number";
        return false;
    }
    // libsamplerate works in single precision; that is ample for the
    // conversion, and audio already at 44100 Hz is never converted.
    const double ratio = static_cast<double>(kTrackerRate) / rate;
    if (src_is_valid_ratio(ratio) == 0) {
        // Refused before the buffers are sized from the ratio; the empty run
        // only fetches libsamplerate's own message for it.
        float none = 0.0f;
        SRC_DATA empty{};
        empty.data_in = &none;
        empty.data_out = &none;
        empty.src_ratio = ratio;
        empty.end_of_input = 1;
        error = std::string("cannot resample: ") +
                src_strerror(src_simple(&empty, SRC_SINC_BEST_QUALITY, 1));
        return false;
    }
    std::vector<float> from(in, in + count);
    std::vector<float> to(static_cast<std::size_t>(std::ceil(static_cast<double>(count) * ratio)) +
                          16);
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

} // namespace pitchtrack
