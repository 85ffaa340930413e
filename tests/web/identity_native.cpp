// The native library's side of the JavaScript package's identity test: runs
// a plan of tracker calls over samples from a file and prints every result
// and record bit for bit, for the Node test to compare with the package's.
//
//   web_identity_native SAMPLES PLAN
//
// SAMPLES holds little-endian 64-bit floats. PLAN has one call per line:
// "new" (a fresh record), "reset" (dywapitch_inittracking), "compute START
// COUNT", "needed FREQ", or "track RATE CHANNELS WINDOW HOP START COUNT".
// Each compute prints the pitch, the record's last pitch (both as the
// hexadecimal bits of the double) and its confidence; each needed prints
// dywapitch_neededsamplecount; each track runs pitchtrack's stream over
// samples[START, START + COUNT) as interleaved frames at RATE Hz, fed in
// blocks as pitchtrack reads a file, and prints the number of windows and
// then each window's time, frequency and confidence as bits.
#include "tracker_input.h"

#include <wavepitch.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint64_t bitsOf(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: web_identity_native SAMPLES PLAN\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::vector<double> samples(bytes.size() / sizeof(double));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(double));

    std::ifstream plan(argv[2]);
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    std::string op;
    while (plan >> op) {
        if (op == "new" || op == "reset") {
            dywapitch_inittracking(&tracker);
        } else if (op == "compute") {
            long long start = 0, count = 0;
            plan >> start >> count;
            if (start < 0 || count < 0 ||
                static_cast<std::size_t>(start + count) > samples.size()) {
                std::fprintf(stderr,
                             "web_identity_native: compute %lld %lld is outside the samples\n",
                             start, count);
                return 1;
            }
            const double pitch = dywapitch_computepitch(
                &tracker, samples.data(), static_cast<int>(start), static_cast<int>(count));
            std::printf("%016" PRIx64 " %016" PRIx64 " %d\n", bitsOf(pitch),
                        bitsOf(tracker._lastPitch), tracker._confidence);
        } else if (op == "track") {
            double rate = 0.0;
            int channels = 0, window = 0;
            long long hop = 0, start = 0, count = 0;
            plan >> rate >> channels >> window >> hop >> start >> count;
            if (!pitchtrack::TrackerStream::check(rate, channels, window, hop).empty() ||
                channels < 1 || start < 0 || count < 0 || count % channels != 0 ||
                static_cast<std::size_t>(start + count) > samples.size()) {
                std::fprintf(stderr, "web_identity_native: cannot track as asked\n");
                return 1;
            }
            pitchtrack::TrackerStream stream(rate, channels, window, hop);
            std::vector<pitchtrack::WindowPitch> windows;
            const long long frames = count / channels, block = 1 << 14;
            for (long long f = 0; f < frames; f += block) {
                const long long n = frames - f < block ? frames - f : block;
                stream.push(samples.data() + start + f * channels, static_cast<std::size_t>(n),
                            windows);
            }
            stream.finish(windows);
            std::printf("%zu\n", windows.size());
            for (const pitchtrack::WindowPitch &w : windows)
                std::printf("%016" PRIx64 " %016" PRIx64 " %016" PRIx64 "\n", bitsOf(w.time),
                            bitsOf(w.frequency), bitsOf(w.confidence));
        } else if (op == "needed") {
            int freq = 0;
            plan >> freq;
            std::printf("%d\n", dywapitch_neededsamplecount(freq));
        } else {
            std::fprintf(stderr, "web_identity_native: unknown call '%s'\n", op.c_str());
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
