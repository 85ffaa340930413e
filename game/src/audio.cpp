#include "game/audio.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <RtAudio.h>

#include "audio_block.h"
#include "game/audio_route.h"
#include "game/state.h"

namespace {

// Trouble the library reports while the stream runs. With an error callback
// installed the library no longer prints its warnings itself. That matters
// when the device goes away (the audio server killed, an interface
// unplugged): the library then reports a failed read or write for every
// block, tens of thousands a second, and calls the block callback just as
// fast. The callback turns such a storm into one message and a stopped
// stream; the game goes on without sound and q still quits.
//
// The error callback runs on whichever thread met the error (the audio
// thread once the stream runs). It keeps the first message in fixed storage,
// published to the main thread by message_state; it allocates nothing itself.
constexpr std::size_t kMessageCapacity = 512;
char first_message[kMessageCapacity];
std::atomic<int> message_state{0}; // 0 none, 1 being written, 2 ready to read
std::atomic<unsigned long> stream_errors{0};
std::atomic<bool> stream_failed{false}; // fatal error or storm: stop the stream

// A storm: at least one report per block over this many blocks in a row.
constexpr unsigned kStormBlocks = 32;

void audioErrorCallback(RtAudioError::Type type, const std::string &message) {
    int expected = 0;
    if (message_state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        const std::size_t length = std::min(message.size(), kMessageCapacity - 1);
        std::memcpy(first_message, message.data(), length);
        first_message[length] = '\0';
        message_state.store(2, std::memory_order_release);
    }
    stream_errors.fetch_add(1, std::memory_order_relaxed);
    if (type != RtAudioError::WARNING)
        stream_failed.store(true, std::memory_order_relaxed);
}

// Audio thread: true once the stream should stop. Counts reports per window
// of kStormBlocks blocks; the window state belongs to the audio thread.
bool streamIsFailing() {
    static unsigned blocks_in_window = 0;
    static unsigned long errors_at_window_start = 0;
    if (++blocks_in_window == kStormBlocks) {
        const unsigned long errors = stream_errors.load(std::memory_order_relaxed);
        if (errors - errors_at_window_start >= kStormBlocks)
            stream_failed.store(true, std::memory_order_relaxed);
        errors_at_window_start = errors;
        blocks_in_window = 0;
    }
    return stream_failed.load(std::memory_order_relaxed);
}

} // namespace

int audioCallback(void *outputBuffer, void *inputBuffer, unsigned int nFrames,
                  double /*streamTime*/, unsigned int /*status*/, void * /*userData*/) {
    // A duplex stream always hands over both buffers; without an output there
    // is nowhere to play, and the library is told to carry on all the same.
    if (outputBuffer == nullptr)
        return 0;
    if (streamIsFailing()) {
        std::fill_n(static_cast<double *>(outputBuffer), nFrames, 0.0);
        return 2; // abort the stream: the library stops calling
    }
    arrowsong::detail::SharedControl control;
    arrowsong::detail::renderBlock(static_cast<double *>(outputBuffer),
                                   static_cast<const double *>(inputBuffer), nFrames, control);
    return 0;
}

RtAudio *openAudio() {
    try {
        return new RtAudio();
    } catch (const RtAudioError &error) {
        error.printMessage();
        return nullptr;
    }
}

bool hasAudioDevice(RtAudio &audio) {
    return audio.getDeviceCount() >= 1;
}

namespace {

// Main thread, while no stream runs: forgets what an earlier attempt to
// open a stream reported.
void clearAudioTrouble() {
    message_state.store(0, std::memory_order_relaxed);
    stream_errors.store(0, std::memory_order_relaxed);
    stream_failed.store(false, std::memory_order_relaxed);
}

// The library's warning while the stream was opened (ALSA, for one, says
// when it cannot link input and output), printed with the start-up lines.
// Main thread only.
std::string open_warning;

// Opens the game's stream on the given devices: 64-bit floats at 44100 Hz,
// 512 frames asked for. A warning while opening is kept in open_warning, so
// that the first trouble of the running stream still has its slot. A fatal error
// the library reports through the error callback instead of throwing is
// thrown here.
void openGameStream(RtAudio &audio, RtAudio::StreamParameters *output,
                    RtAudio::StreamParameters *input, RtAudio::StreamOptions &options) {
    clearAudioTrouble();
    open_warning.clear();
    bufferSize = kPitchFrames;
    audio.openStream(output, input, RTAUDIO_FLOAT64, 44100, &bufferSize, &audioCallback, nullptr,
                     &options, &audioErrorCallback);
    const bool failed = stream_failed.load(std::memory_order_relaxed);
    if (message_state.load(std::memory_order_acquire) == 2) {
        if (failed) {
            const std::string message = first_message;
            audio.closeStream();
            throw RtAudioError(message);
        }
        open_warning = first_message;
    }
    clearAudioTrouble();
}

// The rest of the start-up on an open stream: the granted block size, the
// start, the tracker and the latency.
bool runOpenedStream(RtAudio &audio) {
    if (!open_warning.empty())
        std::cerr << '\n' << open_warning << "\n" << std::endl;
    try {
        std::cerr << "Buffer size defined by RtAudio: " << bufferSize << std::endl;
        audio.startStream();
        // The stream already runs, but the callback touches the record only
        // while pitch_listen is set, which no handler can do before the event
        // loop starts.
        dywapitch_inittracking(&pitchtracker);
        std::cout << "stream latency: " << audio.getStreamLatency() << " frames" << std::endl;
    } catch (const RtAudioError &error) {
        error.printMessage();
        return false;
    }
    // Once the stream is open the library reports a failure to start through
    // the error callback instead of throwing it.
    if (stream_failed.load(std::memory_order_relaxed)) {
        reportAudioTrouble();
        return false;
    }
    return true;
}

} // namespace

bool startAudioStream(RtAudio &audio) {
    audio.showWarnings(true);
    RtAudio::StreamParameters input;
    input.deviceId = audio.getDefaultInputDevice();
    input.nChannels = 1;
    input.firstChannel = 0;
    RtAudio::StreamParameters output;
    output.deviceId = audio.getDefaultOutputDevice();
    output.nChannels = 1;
    output.firstChannel = 0;
    RtAudio::StreamOptions options;
    try {
        openGameStream(audio, &output, &input, options);
    } catch (const RtAudioError &error) {
        error.printMessage();
        return false;
    }
    return runOpenedStream(audio);
}

bool startAudioOnDefaults(RtAudio *&audio) {
    audio->showWarnings(true);
    arrowsong::OpenedRoute route =
        arrowsong::openOnDefaults(std::unique_ptr<RtAudio>(audio), {}, &openGameStream);
    audio = route.audio.release();
    if (!route.opened) {
        for (const RtAudioError &failure : route.failures)
            failure.printMessage();
        if (route.defaultsLost)
            std::cerr << arrowsong::kSharedDescriptionMessage << std::endl;
        return false;
    }
    if (!route.note.empty())
        std::cerr << route.note << std::endl;
    return runOpenedStream(*audio);
}

void reportAudioTrouble() {
    static bool message_reported = false;
    static bool stop_reported = false;
    if (!message_reported && message_state.load(std::memory_order_acquire) == 2) {
        std::cerr << '\n' << first_message << "\n" << std::endl;
        message_reported = true;
    }
    if (!stop_reported && stream_failed.load(std::memory_order_relaxed)) {
        std::cerr << "The audio stream has stopped: no tone and no listening until a restart."
                  << std::endl;
        stop_reported = true;
    }
}

void stopAudioStream(RtAudio &audio) {
    try {
        audio.stopStream();
    } catch (const RtAudioError &error) {
        error.printMessage();
    }
}

void closeAudio(RtAudio *audio) {
    if (audio == nullptr)
        return;
    try {
        audio->closeStream();
    } catch (const RtAudioError &error) {
        error.printMessage();
    }
    delete audio;
}
