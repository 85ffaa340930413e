#include "game/sound_server.h"

#include <chrono>
#include <cstdint>

#include <pulse/pulseaudio.h>

namespace arrowsong {
namespace {

// One question to the server at a time, each answered through callbacks that
// fill this record, on libpulse's plain main loop run here and nowhere else.
struct Asking {
    SoundServer found;
    std::uint32_t monitorOf = PA_INVALID_INDEX;
    int pending = 0;
};

void onServerInfo(pa_context *, const pa_server_info *info, void *user) {
    auto &a = *static_cast<Asking *>(user);
    if (info != nullptr) {
        a.found.defaultSink = info->default_sink_name ? info->default_sink_name : "";
        a.found.defaultSource = info->default_source_name ? info->default_source_name : "";
    }
    --a.pending;
}

void onSink(pa_context *, const pa_sink_info *info, int eol, void *user) {
    auto &a = *static_cast<Asking *>(user);
    if (eol != 0) {
        --a.pending;
        return;
    }
    ++a.found.sinks;
    if (info->index == a.monitorOf)
        a.found.defaultSourceMonitors = info->name ? info->name : "";
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *user) {
    auto &a = *static_cast<Asking *>(user);
    if (eol != 0) {
        --a.pending;
        return;
    }
    ++a.found.sources;
    if (info->name != nullptr && a.found.defaultSource == info->name) {
        a.found.defaultSourceDescription = info->description ? info->description : info->name;
        a.monitorOf = info->monitor_of_sink;
    }
}

// Runs the loop until `done` holds, the context fails or the time is up.
template <class Done>
bool runUntil(pa_mainloop *loop, pa_context *context, std::chrono::steady_clock::time_point end,
              Done done) {
    while (!done()) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED ||
            std::chrono::steady_clock::now() > end)
            return false;
        // A short wait, so that a silent server cannot hold the program.
        if (pa_mainloop_prepare(loop, 100 * 1000) < 0 || pa_mainloop_poll(loop) < 0 ||
            pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

} // namespace

SoundServer askSoundServer() {
    Asking asking;
    pa_mainloop *loop = pa_mainloop_new();
    if (loop == nullptr)
        return {};
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "arrowsong-probe");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    if (context != nullptr &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        runUntil(loop, context, end,
                 [&] { return pa_context_get_state(context) == PA_CONTEXT_READY; })) {
        // The server's defaults first, then the sources, which name the sink
        // the default source monitors, then the sinks, which give it a name.
        auto ask = [&](pa_operation *op) {
            if (op == nullptr)
                return false;
            ++asking.pending;
            pa_operation_unref(op);
            return runUntil(loop, context, end, [&] { return asking.pending == 0; });
        };
        asking.found.answered = ask(pa_context_get_server_info(context, &onServerInfo, &asking)) &&
                                ask(pa_context_get_source_info_list(context, &onSource, &asking)) &&
                                ask(pa_context_get_sink_info_list(context, &onSink, &asking));
        pa_context_disconnect(context);
    }
    if (context != nullptr)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    if (!asking.found.answered)
        return {};
    return asking.found;
}

} // namespace arrowsong
