// Trouble the audio library reports while the stream runs. With an error
// callback installed the library no longer prints its warnings itself. That
// matters when the device goes away (the audio server killed, an interface
// unplugged): the library then reports a failed read or write for every
// block, tens of thousands a second, and calls the block callback just as
// fast. StreamTrouble turns such a storm into one message and a stopped
// stream; the game goes on without sound and q still quits.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>

#include <RtAudio.h>

namespace arrowsong::detail {

class StreamTrouble {
  public:
    // A storm: at least one report per block over this many blocks in a row.
    static constexpr unsigned kStormBlocks = 32;

    // The library's error callback, on whichever thread met the error (the
    // audio thread once the stream runs). Keeps the first message in fixed
    // storage and allocates nothing; anything worse than a warning fails the
    // stream at once.
    void report(RtAudioError::Type type, const std::string &message);

    // Audio thread, once per block: true once the stream should stop, after
    // a fatal report or a storm. Counts reports per window of kStormBlocks
    // blocks.
    bool blockShouldStop();

    // True once a fatal report or a storm has failed the stream.
    bool failed() const { return failed_.load(std::memory_order_relaxed); }

    // Main thread: writes the first message once, and the stop line once
    // the stream has failed. Later reports are only counted.
    void printNews(std::ostream &err);

    // Main thread: the first message reported, or null while there is none.
    const char *firstMessage() const {
        return message_state_.load(std::memory_order_acquire) == 2 ? first_message_ : nullptr;
    }

    // Main thread, while no stream runs: forgets everything reported so far,
    // so that what an attempt to open a stream reported does not count
    // against the next attempt or the stream that runs.
    void clear();

  private:
    static constexpr std::size_t kMessageCapacity = 512;
    char first_message_[kMessageCapacity] = {};
    std::atomic<int> message_state_{0}; // 0 none, 1 being written, 2 ready to read
    std::atomic<unsigned long> errors_{0};
    std::atomic<bool> failed_{false};
    unsigned blocks_in_window_ = 0;            // audio thread
    unsigned long errors_at_window_start_ = 0; // audio thread
    bool message_printed_ = false;             // main thread
    bool stop_printed_ = false;                // main thread
};

} // namespace arrowsong::detail
