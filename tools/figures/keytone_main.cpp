// figures-keytone: key-to-tone latency of a running game.
//
//   figures-keytone SOURCE TONES WINDOW
//
// Records a PulseAudio source (the null sink's monitor, where the game's
// output lands) in 256-frame fragments, sends the space key to the game's
// window (its X id, as xdotool prints it), and times the first sample of the goal tone that appears
// on the source. Prints one line "key_to_tone_ms <ms>" per tone, then sends
// space again to stop the tone before the next one.
//
// The key is sent with XSendEvent and XSync: timed when the X server has it.
// The tone's time is the read's return less the source's reported latency and
// the samples after the tone's first in the fragment (5.8 ms at worst).
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;
constexpr std::size_t kFragment = 256;
constexpr float kToneLevel = 0.05f; // the tone is full scale; the silence is exact zero
constexpr float kSilenceLevel = 0.01f;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void sendSpace(Display *dpy, Window w) {
    XKeyEvent key{};
    key.display = dpy;
    key.window = w;
    key.root = DefaultRootWindow(dpy);
    key.subwindow = None;
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(dpy, XK_space);
    key.type = KeyPress;
    XSendEvent(dpy, w, True, KeyPressMask, reinterpret_cast<XEvent *>(&key));
    key.type = KeyRelease;
    XSendEvent(dpy, w, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&key));
    XSync(dpy, False);
}

class Recorder {
  public:
    explicit Recorder(const char *source) {
        pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(kFragment * sizeof(float));
        int error = 0;
        pa_ = pa_simple_new(nullptr, "figures-keytone", PA_STREAM_RECORD, source, "monitor",
                            &format, nullptr, &attr, &error);
        if (!pa_)
            std::fprintf(stderr, "figures-keytone: cannot record %s: %s\n", source,
                         pa_strerror(error));
    }
    ~Recorder() {
        if (pa_)
            pa_simple_free(pa_);
    }
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;
    bool ok() const { return pa_ != nullptr; }

    // Reads one fragment; returns the time at which its first sample reached
    // the source, or false when the stream fails.
    bool read(std::vector<float> &fragment, Clock::time_point &firstSample) {
        fragment.resize(kFragment);
        int error = 0;
        if (pa_simple_read(pa_, fragment.data(), kFragment * sizeof(float), &error) < 0)
            return false;
        const auto now = Clock::now();
        const pa_usec_t latency = pa_simple_get_latency(pa_, &error);
        const double back =
            static_cast<double>(latency) / 1e6 + static_cast<double>(kFragment) / kRate;
        firstSample =
            now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(back));
        return true;
    }

  private:
    pa_simple *pa_ = nullptr;
};

// Reads until `quiet` seconds in a row stay below the silence level.
bool awaitSilence(Recorder &rec, double quiet, double timeout) {
    std::vector<float> frag;
    Clock::time_point t;
    const auto begin = Clock::now();
    double silent = 0.0;
    while (secondsSince(begin) < timeout) {
        if (!rec.read(frag, t))
            return false;
        bool loud = false;
        for (float s : frag)
            loud = loud || std::fabs(s) >= kSilenceLevel;
        silent = loud ? 0.0 : silent + static_cast<double>(kFragment) / kRate;
        if (silent >= quiet)
            return true;
    }
    return false;
}

// The time of the first tone sample to appear after `sent`, or a negative
// number on a time-out.
double awaitTone(Recorder &rec, Clock::time_point sent, double timeout) {
    std::vector<float> frag;
    Clock::time_point first;
    while (secondsSince(sent) < timeout) {
        if (!rec.read(frag, first))
            return -1.0;
        for (std::size_t i = 0; i < frag.size(); ++i) {
            if (std::fabs(frag[i]) < kToneLevel)
                continue;
            const auto at = first + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(double(i) / kRate));
            return std::chrono::duration<double, std::milli>(at - sent).count();
        }
    }
    return -1.0;
}

// Starts and stops the tone `tones` times, printing each key-to-tone time.
int timeTones(Display *dpy, Window game, Recorder &rec, int tones) {
    for (int n = 0; n < tones; ++n) {
        if (!awaitSilence(rec, 0.3, 10.0)) {
            std::fprintf(stderr, "figures-keytone: the source never fell silent\n");
            return 1;
        }
        sendSpace(dpy, game);
        const double ms = awaitTone(rec, Clock::now(), 5.0);
        if (ms < 0.0) {
            std::fprintf(stderr, "figures-keytone: no tone within 5 s of the key\n");
            return 1;
        }
        std::printf("key_to_tone_ms %.2f\n", ms);
        std::fflush(stdout);
        sendSpace(dpy, game); // stops the tone: the next space starts a new one
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const int tones = argc == 4 ? std::atoi(argv[2]) : 0;
    const Window game = argc == 4 ? std::strtoul(argv[3], nullptr, 0) : 0;
    if (tones < 1 || !game) {
        std::fprintf(stderr, "usage: figures-keytone SOURCE TONES WINDOW\n"
                             "  DISPLAY and PULSE_SERVER name the X and audio servers. Prints\n"
                             "  key_to_tone_ms <ms> for each tone.\n");
        return 2;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "figures-keytone: cannot open the X display\n");
        return 1;
    }
    Recorder rec(argv[1]);
    const int status = rec.ok() ? timeTones(dpy, game, rec, tones) : 1;
    XCloseDisplay(dpy);
    return status;
}
