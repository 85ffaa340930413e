// What the sound server (PulseAudio, or PipeWire's pulse server) says of its
// devices, asked through libpulse before the audio library is.
//
// Two set-ups need this knowledge, and the audio library cannot give it:
//
// - A server with no sink and no source. RtAudio 5.2's PulseAudio back end
//   crashes in its constructor on such a server, before a program can act,
//   so it must be found first.
// - No microphone at all. PulseAudio and PipeWire then make the default
//   output's monitor the default source, and a game that plays its goal tone
//   there would hear the tone and judge it as the player's voice.
#pragma once

#include <string>

namespace arrowsong {

struct SoundServer {
    bool answered = false; // a server answered; nothing below is known otherwise
    unsigned sinks = 0;
    unsigned sources = 0; // monitors included
    std::string defaultSink;
    std::string defaultSource;
    std::string defaultSourceDescription;
    // The sink whose monitor the default source is; empty for a real input.
    std::string defaultSourceMonitors;

    bool empty() const { return answered && sinks == 0 && sources == 0; }
    // The default input is a monitor: whatever the output plays, not a voice.
    bool inputIsMonitor() const { return answered && !defaultSourceMonitors.empty(); }
    // The default input is the monitor of the default output.
    bool inputIsOwnOutput() const {
        return inputIsMonitor() && defaultSourceMonitors == defaultSink;
    }
};

// Asks the server the environment names (PULSE_SERVER, the runtime folder),
// never starting one, and gives up after a few seconds of silence.
SoundServer askSoundServer();

} // namespace arrowsong
