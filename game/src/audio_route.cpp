#include "game/audio_route.h"

#include <algorithm>
#include <cstring>

#include <alsa/asoundlib.h>

namespace arrowsong {

const char *const kNoDevicesMessage = "no audio devices found!";

const char *const kSharedDescriptionMessage =
    "The default microphone or speaker cannot be told apart from another audio device with "
    "the same description, so the game could hear its own tone or play on the wrong device. "
    "Give the microphone its own description, or choose other default devices.";

PulseDefaults findPulseDefaults(const std::vector<RtAudio::DeviceInfo> &devices) {
    PulseDefaults found;
    unsigned inputs = 0, outputs = 0;
    for (unsigned id = 0; id < devices.size(); ++id) {
        const RtAudio::DeviceInfo &device = devices[id];
        if (!device.probed)
            continue;
        if (device.isDefaultInput && device.inputChannels >= 1) {
            found.input = id;
            ++inputs;
        }
        if (device.isDefaultOutput && device.outputChannels >= 1) {
            found.output = id;
            ++outputs;
        }
    }
    // The server has one default each way: two flags would mean the list
    // no longer matches it either.
    found.inputKnown = inputs == 1;
    found.outputKnown = outputs == 1;
    return found;
}

namespace {

// The "type" of a compound configuration node, or empty.
std::string typeOf(snd_config_t *node) {
    snd_config_t *type = nullptr;
    const char *value = nullptr;
    if (snd_config_get_type(node) != SND_CONFIG_TYPE_COMPOUND ||
        snd_config_search(node, "type", &type) < 0 || snd_config_get_string(type, &value) < 0 ||
        value == nullptr)
        return {};
    return value;
}

// Stands in for ALSA's error printer while the configuration is read.
void ignoreAlsaError(const char *, int, const char *, int, const char *, ...) {}

} // namespace

bool alsaDefaultReachesServer() {
    // A private tree: the global one is loaded once per process, and the
    // hook that routes "default" to a running PulseAudio server is only
    // evaluated while a definition is looked up. Without a server the
    // lookup goes on to the sound cards and, with none, has ALSA print its
    // complaints, which say nothing to a player here.
    snd_config_t *top = nullptr;
    snd_config_update_t *update = nullptr;
    if (snd_config_update_r(&top, &update, nullptr) < 0)
        return false;
    snd_lib_error_set_handler(&ignoreAlsaError);
    snd_config_t *pcm = nullptr;
    std::string type;
    if (snd_config_search_definition(top, "pcm", "default", &pcm) >= 0) {
        type = typeOf(pcm);
        snd_config_delete(pcm);
    }
    snd_lib_error_set_handler(nullptr);
    snd_config_delete(top);
    snd_config_update_free(update);
    return type == "pulse" || type == "pipewire";
}

std::string apiName(RtAudio::Api api) {
    switch (api) {
    case RtAudio::LINUX_PULSE:
        return "PulseAudio";
    case RtAudio::UNIX_JACK:
        return "JACK";
    case RtAudio::LINUX_ALSA:
        return "ALSA";
    case RtAudio::LINUX_OSS:
        return "OSS";
    default:
        return RtAudio::getApiDisplayName(api);
    }
}

std::string noMicrophoneMessage(const SoundServer &server) {
    return "There is no microphone: the default input, \"" + server.defaultSourceDescription +
           "\", is the monitor of the output the game plays to, so the game would hear its own "
           "tone. Connect a microphone, or choose one as the default input in the desktop's sound "
           "settings (or with 'pactl set-default-source NAME'; 'pactl list short sources' names "
           "the inputs).";
}

namespace {

std::vector<RtAudio::DeviceInfo> probeDevices(RtAudio &audio) {
    std::vector<RtAudio::DeviceInfo> devices;
    const unsigned count = audio.getDeviceCount();
    for (unsigned id = 0; id < count; ++id)
        devices.push_back(audio.getDeviceInfo(id));
    return devices;
}

// A library message on one line, without the trailing full stop.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(text.begin());
    return text;
}

std::string lostDirections(const PulseDefaults &found, StreamDirections needed) {
    const bool input = needed.input && !found.inputKnown;
    const bool output = needed.output && !found.outputKnown;
    return input && output ? "input and output" : input ? "input" : "output";
}

std::unique_ptr<RtAudio> makeAudio(RtAudio::Api api) {
    try {
        auto audio = std::make_unique<RtAudio>(api);
        audio->showWarnings(true);
        return audio;
    } catch (const RtAudioError &) {
        return nullptr; // an API that cannot even start is no route
    }
}

} // namespace

DefaultAudio makeDefaultAudio(const SoundServer &server) {
    DefaultAudio made;
    if (server.empty()) {
        // Only another kind of server can still be reached: JACK, which the
        // library would have chosen first anyway.
        made.audio = makeAudio(RtAudio::UNIX_JACK);
        if (made.audio && made.audio->getDeviceCount() >= 1)
            return made;
        made.audio.reset();
        made.noDevices = true;
        return made;
    }
    try {
        made.audio = std::make_unique<RtAudio>();
    } catch (const RtAudioError &error) {
        made.failure.push_back(error);
        return made;
    }
    if (made.audio->getDeviceCount() < 1) {
        made.audio.reset();
        made.noDevices = true;
    }
    return made;
}

bool findDefaultIds(RtAudio &audio, StreamDirections needed, RtAudio::StreamParameters &input,
                    RtAudio::StreamParameters &output) {
    if (audio.getCurrentApi() == RtAudio::LINUX_PULSE) {
        const PulseDefaults found = findPulseDefaults(probeDevices(audio));
        if (!found.covers(needed))
            return false;
        input.deviceId = found.input;
        output.deviceId = found.output;
        return true;
    }
    input.deviceId = audio.getDefaultInputDevice();
    output.deviceId = audio.getDefaultOutputDevice();
    return true;
}

std::string inputDeviceName(RtAudio &audio, const RtAudio::StreamParameters &input,
                            const RtAudio::StreamOptions &options) {
    if (options.flags & RTAUDIO_ALSA_USE_DEFAULT)
        return "default";
    return audio.getDeviceInfo(input.deviceId).name;
}

OpenedRoute openOnDefaults(std::unique_ptr<RtAudio> first, StreamDirections needed,
                           const StreamOpener &open, const SoundServer &server) {
    OpenedRoute result;
    std::vector<RtAudio::Api> order{first->getCurrentApi()};
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    for (RtAudio::Api api : compiled)
        if (api != order.front())
            order.push_back(api);

    std::vector<std::string> reasons; // why the routes before the one used failed
    bool pulseAnswered = false;
    for (std::size_t step = 0; step < order.size(); ++step) {
        const RtAudio::Api api = order[step];
        std::unique_ptr<RtAudio> made;
        if (step > 0) {
            made = makeAudio(api);
            if (!made)
                continue;
        }
        RtAudio &audio = step == 0 ? *first : *made;
        RtAudio::StreamParameters input, output;
        input.nChannels = output.nChannels = 1;
        RtAudio::StreamOptions options;
        try {
            if (audio.getDeviceCount() < 1)
                continue; // no server of this kind runs
            if (api == RtAudio::LINUX_PULSE)
                pulseAnswered = true;
            if (!findDefaultIds(audio, needed, input, output)) {
                const PulseDefaults found = findPulseDefaults(probeDevices(audio));
                result.defaultsLost = true;
                reasons.push_back("PulseAudio's device list has lost the default " +
                                  lostDirections(found, needed) +
                                  " (devices sharing a description)");
                // The server's own route to its defaults comes next.
                auto alsa = std::find(order.begin() + step + 1, order.end(), RtAudio::LINUX_ALSA);
                if (alsa != order.end())
                    std::rotate(order.begin() + step + 1, alsa, alsa + 1);
                continue;
            }
            if (api == RtAudio::LINUX_ALSA && step > 0) {
                // Past the library's own choice, ALSA is used only through
                // its "default" device, and only where that reaches the
                // sound server whose list was found wanting.
                if (pulseAnswered && !alsaDefaultReachesServer())
                    continue;
                options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
            }
            // Through the sound server, the input is the server's default
            // source: a monitor carries what an output plays, not a voice.
            const bool throughServer =
                api == RtAudio::LINUX_PULSE || (options.flags & RTAUDIO_ALSA_USE_DEFAULT) != 0;
            if (throughServer && needed.input && server.inputIsMonitor()) {
                if (needed.output && server.inputIsOwnOutput()) {
                    result.ownMonitor = true;
                    break; // every other route to this server plays to the same output
                }
                result.monitorNote = "Listening to \"" + server.defaultSourceDescription +
                                     "\", the monitor of an output, not a microphone.";
            }
            open(audio, needed.output ? &output : nullptr, needed.input ? &input : nullptr,
                 options);
        } catch (const RtAudioError &error) {
            result.failures.push_back(error);
            reasons.push_back(apiName(api) +
                              " could not open the stream: " + oneLine(error.getMessage()));
            continue;
        }
        result.opened = true;
        result.defaultsLost = false;
        result.input = input;
        result.output = output;
        result.options = options;
        if (step > 0) {
            std::string note = "Audio through " + apiName(api);
            if (options.flags & RTAUDIO_ALSA_USE_DEFAULT)
                note += "'s default device";
            for (std::size_t k = 0; k < reasons.size(); ++k)
                note += (k == 0 ? ", since " : "; and ") + reasons[k];
            result.note = note + ".";
            result.audio = std::move(made);
            return result;
        }
        result.audio = std::move(first);
        return result;
    }
    result.audio = std::move(first);
    return result;
}

} // namespace arrowsong
