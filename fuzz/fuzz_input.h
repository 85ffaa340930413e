// What every fuzz target reads its input with: values taken from the front of
// the fuzzer's bytes (zeros once they run out), and a check that aborts, so
// that libFuzzer reports a broken promise as a crash with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzz {

struct Reader {
    const std::uint8_t *data;
    std::size_t size, at = 0;
    template <typename T> T take() {
        T v{};
        std::uint8_t bytes[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T) && at < size; ++i)
            bytes[i] = data[at++];
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
};

inline void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace fuzz
