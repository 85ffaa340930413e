#include "game/audio.h"

#include <iostream>

#include <RtAudio.h>

#include "stream_trouble.h"

namespace {

arrowsong::detail::StreamTrouble trouble;

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
    arrowsong::detail::SharedControl control;
    return arrowsong::detail::watchedBlock(trouble, static_cast<double *>(outputBuffer),
                                           static_cast<const double *>(inputBuffer), nFrames,
                                           control);
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
        audio.openStream(&output, &input, RTAUDIO_FLOAT64, 44100, &bufferSize, &audioCallback,
                         nullptr, &options, &audioErrorCallback);
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
        reportAudioTrouble();
        return false;
    }
    return true;
}

void reportAudioTrouble() {
    trouble.printNews(std::cerr);
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
