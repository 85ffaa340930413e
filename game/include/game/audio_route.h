// Choosing how to reach the system's default input and output through
// RtAudio. Independent of the game's state, so any program that opens a
// stream on the defaults (an input-only one as well) can use it.
//
// Two set-ups defeat the library's default choice:
//
// - On its PulseAudio API (also what PipeWire's pulse server offers) RtAudio
//   5.2 makes one device per description. A later sink or source with the same
//   description overwrites the earlier one's name and default flag, and when
//   no device is flagged as the default the library falls back to device 0.
//   PipeWire gives a sink's monitor the sink's own description, and laptops'
//   built-in microphone and speakers often share one, so a game could record
//   from its own speaker's monitor. The library writes name and flag
//   together, so a device flagged as the default still addresses the server's
//   default; only a missing flag shows the loss.
// - A JACK server at another rate than the one asked for: the library picks
//   JACK first whenever a JACK server runs, and the stream cannot open.
//
// openOnDefaults tries the library's default API first, then the other
// compiled APIs in the library's own order. A PulseAudio list that has lost a
// default is not used; ALSA's "default" device is tried next instead, which
// the PulseAudio and PipeWire ALSA plugins route to the server's defaults.
//
// Where the route goes through the sound server, what the server says of its
// default input decides whether the stream may open at all: the monitor of
// the very output a stream plays to is no microphone (game/sound_server.h).
//
// The game and pitchtrack both open their streams through this module, so
// that pitchtrack --live hears exactly what the game would, with the same
// notes and messages.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <RtAudio.h>

#include "game/sound_server.h"

namespace arrowsong {

// What the game and pitchtrack print when there is no device to open.
extern const char *const kNoDevicesMessage; // "no audio devices found!"

// Which directions a stream needs.
struct StreamDirections {
    bool input = true;
    bool output = true;
};

// The devices of a PulseAudio device list that the library flags as the
// server's defaults. A direction is known when exactly one device with
// channels that way carries its flag.
struct PulseDefaults {
    bool inputKnown = false;
    bool outputKnown = false;
    unsigned input = 0;
    unsigned output = 0;
    bool covers(StreamDirections needed) const {
        return (!needed.input || inputKnown) && (!needed.output || outputKnown);
    }
};
PulseDefaults findPulseDefaults(const std::vector<RtAudio::DeviceInfo> &devices);

// True when ALSA's default PCM is a sound server's plugin (PulseAudio's or
// PipeWire's), as ALSA's configuration says at this moment. Reads a private
// copy of the configuration, so it is safe to ask more than once.
bool alsaDefaultReachesServer();

// Short name of an API for messages: "PulseAudio", "JACK", "ALSA".
std::string apiName(RtAudio::Api api);

// Opens a stream on the object with the given parameters (null for a
// direction not wanted) and options, throwing RtAudioError when it cannot.
using StreamOpener =
    std::function<void(RtAudio &audio, RtAudio::StreamParameters *output,
                       RtAudio::StreamParameters *input, RtAudio::StreamOptions &options)>;

// The audio object with the library's default choice of API. A sound server
// that answered with no device at all is never handed to the library's
// PulseAudio back end (it would crash); a running JACK server is used then,
// if it has ports. Null with `noDevices` set when no device can be reached;
// null with `failure` set when the library could not start.
struct DefaultAudio {
    std::unique_ptr<RtAudio> audio;
    bool noDevices = false;
    std::vector<RtAudioError> failure;
};
DefaultAudio makeDefaultAudio(const SoundServer &server);

// The device ids of the defaults on this object, as a route uses them: on
// the PulseAudio API the devices the list flags (false when it has lost one
// that is needed), elsewhere the library's defaults. Asked again on every
// open, since the library renumbers its PulseAudio list each time.
bool findDefaultIds(RtAudio &audio, StreamDirections needed, RtAudio::StreamParameters &input,
                    RtAudio::StreamParameters &output);

// The name of a stream's input device for messages ("default" on ALSA's
// default device).
std::string inputDeviceName(RtAudio &audio, const RtAudio::StreamParameters &input,
                            const RtAudio::StreamOptions &options);

struct OpenedRoute {
    // Holds the open stream; when nothing opened, the first object back.
    std::unique_ptr<RtAudio> audio;
    bool opened = false;
    // One line saying which API is used and why, when it is not the
    // library's default choice; empty otherwise.
    std::string note;
    // Why each route tried failed to open, in the order tried.
    std::vector<RtAudioError> failures;
    // A PulseAudio list lost a default and no other route reached it.
    bool defaultsLost = false;
    // The route went through the sound server, whose default input is the
    // monitor of the output the stream would play to: nothing was opened.
    bool ownMonitor = false;
    // The stream's input is a monitor of another output: one line that says
    // so; empty otherwise.
    std::string monitorNote;
    // The parameters and options the stream was opened with.
    RtAudio::StreamParameters input;
    RtAudio::StreamParameters output;
    RtAudio::StreamOptions options;
};

// Tries the routes in order, starting with `first` (the object made with the
// library's default API, which must have at least one device), and stops at
// the first that opens. A route through the sound server `server` described
// is refused when the stream needs both directions and its default input is
// the monitor of its default output. Other objects are made with showWarnings(true).
// The opener receives the route's device ids, 1 channel and first channel 0
// in the parameters, and the route's flags in the options; rate, format,
// block size and callbacks are its own business.
OpenedRoute openOnDefaults(std::unique_ptr<RtAudio> first, StreamDirections needed,
                           const StreamOpener &open, const SoundServer &server = {});

// The message for OpenedRoute::defaultsLost: the cause and the remedy.
extern const char *const kSharedDescriptionMessage;

// The message for OpenedRoute::ownMonitor, naming the input: there is no
// microphone, and how to choose one.
std::string noMicrophoneMessage(const SoundServer &server);

} // namespace arrowsong
