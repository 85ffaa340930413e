// Live mode: the default input device, exactly as the game would open it,
// tracked window by window.
//
// Two threads. The audio thread runs inputCallback, which only copies each
// block into a preallocated ring and counts what did not fit: it never
// allocates, locks, waits or prints. The main thread drains the ring, tracks
// the windows and writes every line, warning and status redraw.
#include "live_windows.h"
#include "modes.h"
#include "sample_ring.h"

#include <RtAudio.h>
#include <game/audio_route.h>
#include <game/sound_server.h>

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace pitchtrack {
namespace {

using Clock = std::chrono::steady_clock;

const char kDeviceHint[] =
    "pitchtrack: to listen to another device, make it the default input: with PulseAudio or "
    "PipeWire, 'pactl list short sources' names them and 'pactl set-default-source NAME' "
    "chooses one\n";

// About 3 s at 44100 Hz: room for the main thread to fall far behind.
constexpr std::size_t kRingSamples = 1u << 17;

struct StreamShared {
    SampleRing ring{kRingSamples};
    std::atomic<unsigned long long> lost{0}; // samples that found the ring full
};

// Trouble the library reports while the stream runs, on whichever thread met
// it. The first message goes into fixed storage, published by messageState.
constexpr std::size_t kMessageCapacity = 512;
char firstMessage[kMessageCapacity];
std::atomic<int> messageState{0}; // 0 none, 1 being written, 2 ready
std::atomic<bool> streamFailed{false};

void onStreamError(RtAudioError::Type type, const std::string &message) {
    int expected = 0;
    if (messageState.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        const std::size_t length = std::min(message.size(), kMessageCapacity - 1);
        std::memcpy(firstMessage, message.data(), length);
        firstMessage[length] = '\0';
        messageState.store(2, std::memory_order_release);
    }
    if (type != RtAudioError::WARNING)
        streamFailed.store(true, std::memory_order_relaxed);
}

std::string streamMessage() {
    return messageState.load(std::memory_order_acquire) == 2 ? firstMessage : "unknown error";
}

int inputCallback(void * /*output*/, void *input, unsigned int frames, double /*time*/,
                  RtAudioStreamStatus /*status*/, void *user) {
    auto &shared = *static_cast<StreamShared *>(user);
    if (input != nullptr) {
        const std::size_t stored = shared.ring.push(static_cast<const double *>(input), frames);
        if (stored < frames)
            shared.lost.fetch_add(frames - stored, std::memory_order_relaxed);
    }
    return 0;
}

// Set by the signal handler, read by the main thread between windows. A
// lock-free atomic is safe to store from a handler.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");
void onInterrupt(int) {
    interrupted.store(true, std::memory_order_relaxed);
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void pause(long milliseconds) {
    timespec t{0, milliseconds * 1000000L};
    nanosleep(&t, nullptr);
}

// Standard output and what is written to it: plain lines, or on a terminal
// one status line redrawn in place, about ten times a second.
class Display {
  public:
    Display() : terminal_(isatty(STDOUT_FILENO) == 1) {}

    void show(const WindowResult &r) {
        if (!terminal_) {
            std::printf("%s\n", plainLine(r).c_str());
            return;
        }
        latest_ = r;
        pending_ = true;
    }

    // Writes what has come since the last call.
    void flush() {
        if (terminal_ && pending_ && Clock::now() - lastDraw_ >= std::chrono::milliseconds(100)) {
            std::printf("\r%s\033[K", statusLine(latest_).c_str());
            lastDraw_ = Clock::now();
            pending_ = false;
        }
        std::fflush(stdout);
    }

    // A warning on standard error, on a line of its own.
    void warn(const char *text) {
        if (terminal_) {
            std::fputs("\r\033[K", stdout);
            std::fflush(stdout);
            lastDraw_ = Clock::time_point{}; // redraw at once
            pending_ = true;
        }
        std::fputs(text, stderr);
    }

    void finish() {
        if (terminal_)
            std::fputs("\n", stdout);
        std::fflush(stdout);
    }

  private:
    bool terminal_;
    bool pending_ = false;
    WindowResult latest_;
    Clock::time_point lastDraw_{};
};

const char kSilenceWarning[] = "pitchtrack: no signal from the input device\n";
const char kClippingWarning[] =
    "pitchtrack: the input is clipping (samples at full scale): turn the microphone's input "
    "level down, or sing further from it\n";

// Stops and closes whatever stream the object holds.
void closeInput(RtAudio *audio) {
    if (audio == nullptr)
        return;
    try {
        if (audio->isStreamRunning())
            audio->stopStream();
        if (audio->isStreamOpen())
            audio->closeStream();
    } catch (const RtAudioError &error) {
        std::fprintf(stderr, "pitchtrack: %s\n", error.getMessage().c_str());
    }
}

// Opens the input stream on the default input, through the route the game
// would take, and starts it. On failure prints why and returns null.
std::unique_ptr<RtAudio> startInput(StreamShared &shared) {
    const arrowsong::SoundServer server = arrowsong::askSoundServer();
    arrowsong::DefaultAudio made = arrowsong::makeDefaultAudio(server);
    for (const RtAudioError &failure : made.failure)
        std::fprintf(stderr, "pitchtrack: %s\n", failure.getMessage().c_str());
    if (made.noDevices) {
        std::fprintf(stderr, "pitchtrack: %s\n", arrowsong::kNoDevicesMessage);
        std::fputs(kDeviceHint, stderr);
    }
    if (!made.audio)
        return nullptr;
    const arrowsong::StreamOpener open = [&shared](RtAudio &audio, RtAudio::StreamParameters *,
                                                   RtAudio::StreamParameters *input,
                                                   RtAudio::StreamOptions &options) {
        messageState.store(0, std::memory_order_relaxed);
        streamFailed.store(false, std::memory_order_relaxed);
        unsigned frames = 512; // the game's block size
        audio.openStream(nullptr, input, RTAUDIO_FLOAT64, 44100, &frames, &inputCallback, &shared,
                         &options, &onStreamError);
        // The library reports some failures to open through the error
        // callback instead of throwing them.
        if (streamFailed.load(std::memory_order_relaxed)) {
            if (audio.isStreamOpen())
                audio.closeStream();
            throw RtAudioError(streamMessage());
        }
    };
    arrowsong::OpenedRoute route =
        arrowsong::openOnDefaults(std::move(made.audio), {true, false}, open, server);
    if (!route.opened) {
        for (const RtAudioError &failure : route.failures)
            std::fprintf(stderr, "pitchtrack: cannot open the input stream: %s\n",
                         failure.getMessage().c_str());
        if (route.defaultsLost)
            std::fprintf(stderr, "pitchtrack: %s\n", arrowsong::kSharedDescriptionMessage);
        std::fputs(kDeviceHint, stderr);
        return nullptr;
    }
    RtAudio &audio = *route.audio;
    for (const std::string &note : {route.note, route.monitorNote})
        if (!note.empty())
            std::fprintf(stderr, "pitchtrack: %s\n", note.c_str());
    std::fprintf(stderr, "pitchtrack: listening to \"%s\" through %s, mono at 44100 Hz\n",
                 arrowsong::inputDeviceName(audio, route.input, route.options).c_str(),
                 RtAudio::getApiDisplayName(audio.getCurrentApi()).c_str());
    std::fputs(kDeviceHint, stderr);
    audio.startStream();
    // Once open, the library reports a failure to start through the error
    // callback instead of throwing it.
    if (streamFailed.load(std::memory_order_relaxed)) {
        std::fprintf(stderr, "pitchtrack: cannot start the input stream: %s\n",
                     streamMessage().c_str());
        closeInput(route.audio.get());
        return nullptr;
    }
    return std::move(route.audio);
}

// Drains the ring until the time is up, an interrupt or a failed stream.
// Returns the exit status.
int monitor(const Options &o, StreamShared &shared) {
    WindowFeed feed(o.window, o.hop);
    SignalWatch watch(o.window);
    Display display;
    std::vector<double> chunk(shared.ring.capacity());
    const long long limit = o.seconds > 0.0 ? static_cast<long long>(o.seconds * 44100.0) : -1;
    const Clock::time_point begin = Clock::now();
    Clock::time_point lastSamples = begin;
    bool starved = false, lossReported = false;
    int status = 0;
    while (!interrupted.load(std::memory_order_relaxed)) {
        const std::size_t n = shared.ring.pop(chunk.data(), chunk.size());
        const Clock::time_point now = Clock::now();
        if (n > 0) {
            feed.append(chunk.data(), n);
            lastSamples = now;
            starved = false;
        } else if (!starved && now - lastSamples >= std::chrono::seconds(2)) {
            // The device delivers nothing at all: to the singer that is the
            // same trouble as a silent microphone.
            display.warn(kSilenceWarning);
            std::fputs(kDeviceHint, stderr);
            starved = true;
        }
        WindowResult r;
        // A backlog of many windows (a long window with a short hop) is
        // worked through one window at a time, so that Ctrl-C is answered
        // at once.
        while (!interrupted.load(std::memory_order_relaxed) &&
               (limit < 0 || feed.nextStart() + o.window <= limit) && feed.next(r)) {
            display.show(r);
            const SignalWatch::Warnings w = watch.look(r);
            if (w.silent) {
                display.warn(kSilenceWarning);
                std::fputs(kDeviceHint, stderr);
            }
            if (w.clipping)
                display.warn(kClippingWarning);
        }
        display.flush();
        if (limit >= 0 && feed.nextStart() + o.window > limit)
            break;
        if (!lossReported && shared.lost.load(std::memory_order_relaxed) > 0) {
            display.warn("pitchtrack: samples were lost: the output is read too slowly\n");
            lossReported = true;
        }
        if (streamFailed.load(std::memory_order_relaxed)) {
            display.warn("");
            std::fprintf(stderr, "pitchtrack: the input stream has stopped: %s\n",
                         streamMessage().c_str());
            status = 1;
            break;
        }
        // A stalled device must not keep a timed run going for ever.
        if (limit >= 0 && now - begin > std::chrono::duration<double>(o.seconds + 2.0))
            break;
        if (n == 0)
            pause(5);
    }
    display.finish();
    return status;
}

} // namespace

int listenLive(const Options &o) {
    catchInterrupts();
    auto shared = std::make_unique<StreamShared>();
    int status = 1;
    std::unique_ptr<RtAudio> audio;
    try {
        audio = startInput(*shared);
        if (audio)
            status = monitor(o, *shared);
    } catch (const RtAudioError &error) {
        std::fprintf(stderr, "pitchtrack: cannot open the input stream: %s\n",
                     error.getMessage().c_str());
        status = 1;
    }
    closeInput(audio.get());
    return status;
}

} // namespace pitchtrack
