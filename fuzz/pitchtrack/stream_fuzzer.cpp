// Input layout (missing bytes read as zero):
//   byte 0      the rate: one of kRates, or with bit 7 set a rate from bytes
//               7-14 (a raw double, refused unless check() takes it)
//   byte 1      channels - 1 (1 to 4), bit 7 samples as raw doubles instead
//               of 16-bit integers
//   byte 2      log2 of the window (4 to 4096), bytes 3-4 the hop (at least 1)
//   bytes 5-6   the first block's length; later blocks cycle through others
//   the rest    the interleaved samples
//
// The windows must be the same to the bit whether the frames come in one
// block or in many, their times must step by the hop, and each must hold a
// pitch the tracker can give and a confidence from 0 to 1.
#include "tracker_input.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"

namespace {

using fuzz::check;
using fuzz::Reader;

constexpr double kRates[] = {44100, 48000, 22050, 8000, 96000, 44100.5, 11025, 192000, 173};

std::vector<pitchtrack::WindowPitch> run(const std::vector<double> &frames, double rate,
                                         int channels, int window, long long hop,
                                         std::size_t firstBlock) {
    pitchtrack::TrackerStream stream(rate, channels, window, hop);
    std::vector<pitchtrack::WindowPitch> out;
    const std::size_t total = frames.size() / static_cast<std::size_t>(channels);
    std::size_t block = firstBlock;
    for (std::size_t at = 0; at < total;) {
        const std::size_t n = std::min(block, total - at);
        stream.push(frames.data() + at * static_cast<std::size_t>(channels), n, out);
        at += n;
        block = block * 7 % 1021 + 1;
    }
    stream.finish(out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Reader in{data, size};
    const auto rateByte = in.take<std::uint8_t>();
    const auto layout = in.take<std::uint8_t>();
    const int channels = (layout & 3) + 1;
    const int window = 1 << (2 + in.take<std::uint8_t>() % 11);
    const long long hop = std::max<long long>(1, in.take<std::uint16_t>());
    const std::size_t firstBlock = in.take<std::uint16_t>() % 5000 + 1;
    double rate = kRates[rateByte % (sizeof kRates / sizeof kRates[0])];
    if (rateByte & 0x80)
        rate = in.take<double>();
    if (!pitchtrack::TrackerStream::check(rate, channels, window, hop).empty())
        return 0;
    // Rates far from 44100 Hz make long tables; the fuzzer keeps to those a
    // recording could have.
    if (rate < 1000 || rate > 400000)
        return 0;
    std::vector<double> frames;
    while (in.at < in.size && frames.size() < 1 << 16)
        frames.push_back((layout & 0x80) ? in.take<double>() : in.take<std::int16_t>() / 32768.0);
    frames.resize(frames.size() / static_cast<std::size_t>(channels) *
                  static_cast<std::size_t>(channels));

    const auto whole = run(frames, rate, channels, window, hop, frames.size() + 1);
    const auto blocks = run(frames, rate, channels, window, hop, firstBlock);
    check(whole.size() == blocks.size());
    check(whole.empty() ||
          std::memcmp(whole.data(), blocks.data(), whole.size() * sizeof whole[0]) == 0);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const pitchtrack::WindowPitch &w = whole[i];
        check(w.time == static_cast<double>(static_cast<long long>(i) * hop) / 44100.0);
        check(w.frequency == 0.0 || (w.frequency > 0.0 && w.frequency < 44100.0));
        check(w.confidence >= 0.0 && w.confidence <= 1.0);
    }
    return 0;
}
