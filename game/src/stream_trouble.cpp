#include "stream_trouble.h"

#include <cstring>

namespace arrowsong::detail {

void StreamTrouble::report(RtAudioError::Type type, const std::string &message) {
    int expected = 0;
    if (message_state_.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        const std::size_t length = std::min(message.size(), kMessageCapacity - 1);
        std::memcpy(first_message_, message.data(), length);
        first_message_[length] = '\0';
        message_state_.store(2, std::memory_order_release);
    }
    errors_.fetch_add(1, std::memory_order_relaxed);
    if (type != RtAudioError::WARNING)
        failed_.store(true, std::memory_order_relaxed);
}

bool StreamTrouble::blockShouldStop() {
    if (++blocks_in_window_ == kStormBlocks) {
        const unsigned long errors = errors_.load(std::memory_order_relaxed);
        if (errors - errors_at_window_start_ >= kStormBlocks)
            failed_.store(true, std::memory_order_relaxed);
        errors_at_window_start_ = errors;
        blocks_in_window_ = 0;
    }
    return failed_.load(std::memory_order_relaxed);
}

void StreamTrouble::printNews(std::ostream &err) {
    if (!message_printed_ && message_state_.load(std::memory_order_acquire) == 2) {
        err << '\n' << first_message_ << "\n" << std::endl;
        message_printed_ = true;
    }
    if (!stop_printed_ && failed()) {
        err << "The audio stream has stopped: no tone and no listening until a restart."
            << std::endl;
        stop_printed_ = true;
    }
}

void StreamTrouble::clear() {
    message_state_.store(0, std::memory_order_relaxed);
    errors_.store(0, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
    blocks_in_window_ = 0;
    errors_at_window_start_ = 0;
    message_printed_ = false;
    stop_printed_ = false;
}

} // namespace arrowsong::detail
