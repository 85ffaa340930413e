#include "live_windows.h"

#include "notes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pitchtrack {

WindowFeed::WindowFeed(int window, int hop) : window_(window), hop_(hop) {
    pending_.reserve(static_cast<std::size_t>(window) * 2);
    dywapitch_inittracking(&tracker_);
}

void WindowFeed::append(const double *samples, std::size_t count) {
    const std::size_t dropped = std::min(count, static_cast<std::size_t>(skip_));
    skip_ -= static_cast<long long>(dropped);
    pending_.insert(pending_.end(), samples + dropped, samples + count);
}

bool WindowFeed::next(WindowResult &result) {
    const std::size_t window = static_cast<std::size_t>(window_);
    if (pending_.size() < window)
        return false;
    result.time = static_cast<double>(pendingStart_) / 44100.0;
    result.pitch = dywapitch_computepitch(&tracker_, pending_.data(), 0, window_);
    result.peak = 0.0;
    for (std::size_t i = 0; i < window; ++i)
        result.peak = std::max(result.peak, std::fabs(pending_[i]));
    result.clipped = result.peak >= kFullScale;

    const std::size_t hop = static_cast<std::size_t>(hop_);
    if (hop <= pending_.size()) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(hop));
    } else {
        skip_ = static_cast<long long>(hop - pending_.size());
        pending_.clear();
    }
    pendingStart_ += hop_;
    return true;
}

SignalWatch::Warnings SignalWatch::look(const WindowResult &r) {
    Warnings w;
    if (r.peak < kSilentPeak) {
        if (quietSince_ < 0.0)
            quietSince_ = r.time;
        if (!silenceWarned_ && r.time + windowSeconds_ - quietSince_ >= 2.0) {
            w.silent = true;
            silenceWarned_ = true;
        }
    } else {
        quietSince_ = -1.0;
        silenceWarned_ = false;
    }
    if (r.clipped) {
        w.clipping = !clipWarned_;
        clipWarned_ = true;
        lastClip_ = r.time;
    } else if (clipWarned_ && r.time - lastClip_ >= 2.0) {
        clipWarned_ = false;
    }
    return w;
}

namespace {

std::string level(double peak) {
    if (peak <= 0.0)
        return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(peak));
    return text;
}

} // namespace

std::string plainLine(const WindowResult &r) {
    char text[128];
    if (r.pitch > 0.0) {
        const NearestNote n = nearestNote(r.pitch);
        std::snprintf(text, sizeof text, "%.6f %.3f %s %d %s", r.time, r.pitch,
                      noteName(n.note).c_str(), n.cents, level(r.peak).c_str());
    } else {
        std::snprintf(text, sizeof text, "%.6f 0.000 - 0 %s", r.time, level(r.peak).c_str());
    }
    return text;
}

std::string statusLine(const WindowResult &r) {
    // The meter spans -50 to +50 cents in cells of 10, the centre marked; the
    // level bar spans -60 to 0 dBFS in cells of 3 dB.
    std::string meter = "-----|-----";
    char note[16] = "--";
    char cents[16] = "";
    if (r.pitch > 0.0) {
        const NearestNote n = nearestNote(r.pitch);
        std::snprintf(note, sizeof note, "%s", noteName(n.note).c_str());
        std::snprintf(cents, sizeof cents, "%+d", n.cents);
        const int cell = std::clamp(5 + static_cast<int>(std::lround(n.cents / 10.0)), 0, 10);
        meter[static_cast<std::size_t>(cell)] = 'o';
    }
    const double db = r.peak > 0.0 ? 20.0 * std::log10(r.peak) : -1000.0;
    const int filled = std::clamp(static_cast<int>(std::lround((db + 60.0) / 3.0)), 0, 20);
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(20 - filled), '.');
    char text[160];
    std::snprintf(text, sizeof text, "%-4s %4s cents [%s] %6s dBFS [%s]%s", note, cents,
                  meter.c_str(), level(r.peak).c_str(), bar.c_str(), r.clipped ? " CLIP" : "");
    return text;
}

} // namespace pitchtrack
