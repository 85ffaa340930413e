// The native library's side of the JavaScript benchmark: the same windows,
// read from the file the Node benchmark writes, through one record, timed
// per round after one round to warm up. Prints the best round in
// nanoseconds per sample.
//
//   web_native_bench WINDOWS WINDOW_SIZE ROUNDS CALLS_PER_ROUND
#include <wavepitch.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: web_native_bench WINDOWS WINDOW_SIZE ROUNDS CALLS\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::vector<double> samples(bytes.size() / sizeof(double));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(double));
    const int size = std::atoi(argv[2]), rounds = std::atoi(argv[3]), calls = std::atoi(argv[4]);
    const int windows = size > 0 ? static_cast<int>(samples.size()) / size : 0;
    if (windows == 0 || rounds < 1 || calls < 1) {
        std::fprintf(stderr, "web_native_bench: no windows of %d samples in %s\n", size, argv[1]);
        return 1;
    }
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    double best = 1e300, sink = 0.0;
    for (int r = -1; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i)
            sink += dywapitch_computepitch(&tracker, samples.data(), (i % windows) * size, size);
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        const double perSample = took.count() / (static_cast<double>(calls) * size);
        if (r >= 0)
            best = perSample < best ? perSample : best;
    }
    std::printf("%.4f %.6g\n", best, sink);
    return 0;
}
