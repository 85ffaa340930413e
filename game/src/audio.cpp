#include "game/audio.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include <RtAudio.h>

#include "audio_block.h"
#include "audio_internal.h"
#include "game/audio_route.h"
#include "game/sound_server.h"
#include "game/state.h"
#include "input_lag.h"
#include "stream_trouble.h"

namespace {

arrowsong::detail::StreamTrouble trouble;
arrowsong::detail::InputLagWatch input_lag(44100.0);
// Set by the main thread while no stream runs: the watch is wanted only on
// the PulseAudio API (see input_lag.h). Other APIs drop what the game could
// not take in time instead of holding it back.
std::atomic<bool> watch_lag{false};
// What the sound server said at start-up. Main thread only.
arrowsong::SoundServer sound_server;

void audioErrorCallback(RtAudioError::Type type, const std::string &message) {
    trouble.report(type, message);
}

} // namespace

int audioCallback(void *outputBuffer, void *inputBuffer, unsigned int nFrames,
                  double /*streamTime*/, unsigned int /*status*/, void * /*userData*/) {
    // A duplex stream always hands over both buffers; without an output there
    // is nowhere to play, and the library is told to carry on all the same.
    if (outputBuffer == nullptr)
        return 0;
    auto *out = static_cast<double *>(outputBuffer);
    const auto *in = static_cast<const double *>(inputBuffer);
    // 1. When the block arrived, for the lag watch.
    if (watch_lag.load(std::memory_order_relaxed)) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        input_lag.block(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(), nFrames);
    }
    // 2. The storm guard: silence, and the library told to stop calling,
    // once the stream has failed.
    if (trouble.blockShouldStop()) {
        std::fill_n(out, nFrames, 0.0);
        return 2;
    }
    // 3. The block: the tone out, the tracker on what came in.
    arrowsong::detail::SharedControl control;
    arrowsong::detail::renderBlock(out, in, nFrames, control);
    return 0;
}

arrowsong::detail::StreamTrouble &arrowsong::detail::streamTrouble() {
    return trouble;
}

RtAudio *openAudio() {
    // The server is asked first: the library's PulseAudio back end crashes
    // on a server without devices, and only the server tells a microphone
    // from a monitor of the game's own output.
    sound_server = arrowsong::askSoundServer();
    arrowsong::DefaultAudio made = arrowsong::makeDefaultAudio(sound_server);
    for (const RtAudioError &failure : made.failure)
        failure.printMessage();
    if (made.noDevices)
        std::cout << arrowsong::kNoDevicesMessage << std::endl;
    return made.audio.release();
}

namespace {

// The library's warning while the stream was opened (ALSA, for one, says
// when it cannot link input and output), printed with the start-up lines.
// Main thread only.
std::string open_warning;

// The stream that runs and the route it took, so that it can be opened again
// on the same route once its input has fallen behind. Main thread only.
struct OpenedStream {
    RtAudio *audio = nullptr;
    RtAudio::StreamOptions options;
} running;

// Opens the game's stream on the given devices: 64-bit floats at 44100 Hz,
// 512 frames asked for. A warning while opening is kept in open_warning, so
// that the first trouble of the running stream still has its slot. A fatal error
// the library reports through the error callback instead of throwing is
// thrown here.
void openGameStream(RtAudio &audio, RtAudio::StreamParameters *output,
                    RtAudio::StreamParameters *input, RtAudio::StreamOptions &options) {
    trouble.clear();
    input_lag.reset();
    open_warning.clear();
    running = {};
    bufferSize = kPitchFrames;
    audio.openStream(output, input, RTAUDIO_FLOAT64, 44100, &bufferSize, &audioCallback, nullptr,
                     &options, &audioErrorCallback);
    const bool failed = trouble.failed();
    if (const char *first = trouble.firstMessage()) {
        if (failed) {
            const std::string message = first;
            audio.closeStream();
            throw RtAudioError(message);
        }
        open_warning = first;
    }
    trouble.clear();
    running.audio = &audio;
    running.options = options;
    watch_lag.store(audio.getCurrentApi() == RtAudio::LINUX_PULSE, std::memory_order_relaxed);
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
    if (trouble.failed()) {
        trouble.printNews(std::cerr);
        return false;
    }
    return true;
}

} // namespace

bool arrowsong::detail::startAudioStream(RtAudio &audio) {
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
    arrowsong::OpenedRoute route = arrowsong::openOnDefaults(std::unique_ptr<RtAudio>(audio), {},
                                                             &openGameStream, sound_server);
    audio = route.audio.release();
    if (!route.opened) {
        for (const RtAudioError &failure : route.failures)
            failure.printMessage();
        if (route.defaultsLost)
            std::cerr << arrowsong::kSharedDescriptionMessage << std::endl;
        if (route.ownMonitor)
            std::cerr << arrowsong::noMicrophoneMessage(sound_server) << std::endl;
        return false;
    }
    if (!route.note.empty())
        std::cerr << route.note << std::endl;
    if (!route.monitorNote.empty())
        std::cerr << route.monitorNote << std::endl;
    return runOpenedStream(*audio);
}

namespace {

// When the stream's input has fallen behind, opens the stream again on the
// defaults of now; see audioUpkeep.
bool catchUpAudioInput() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const double lag =
        input_lag.check(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    if (lag <= 0.0 || running.audio == nullptr || trouble.failed())
        return false;
    RtAudio &audio = *running.audio;
    RtAudio::StreamOptions options = running.options;
    try {
        if (audio.isStreamRunning())
            audio.stopStream();
        if (audio.isStreamOpen())
            audio.closeStream();
        // The library numbers its PulseAudio list afresh on every open, with
        // the present default first: the ids of the first open may now name
        // other devices, after a hot-plug or a change of default.
        RtAudio::StreamParameters input, output;
        input.nChannels = output.nChannels = 1;
        if (!arrowsong::findDefaultIds(audio, {}, input, output))
            throw RtAudioError(arrowsong::kSharedDescriptionMessage);
        std::cerr << "The microphone fell " << std::fixed << std::setprecision(1) << lag
                  << std::defaultfloat
                  << " s behind while the game was held up; opening the stream again on \""
                  << arrowsong::inputDeviceName(audio, input, options) << "\"." << std::endl;
        openGameStream(audio, &output, &input, options);
        audio.startStream();
    } catch (const RtAudioError &error) {
        error.printMessage();
        running = {};
        return false;
    }
    return true;
}

} // namespace

void audioUpkeep() {
    trouble.printNews(std::cerr);
    catchUpAudioInput();
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
    // Only a stream that is open is closed: after a failed open the library's
    // PulseAudio back end crashes when asked to close.
    if (audio->isStreamOpen()) {
        try {
            audio->closeStream();
        } catch (const RtAudioError &error) {
            error.printMessage();
        }
    }
    delete audio;
}
