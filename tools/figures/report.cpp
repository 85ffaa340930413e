#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace figures {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

std::string format(const char *fmt, ...) {
    va_list args, again;
    va_start(args, fmt);
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out(static_cast<std::size_t>(std::max(size, 0)) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), fmt, again);
    va_end(again);
    out.pop_back();
    return out;
}

std::vector<NoteRow> noteRows(const Table &t) {
    std::vector<NoteRow> rows(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        NoteRow &r = rows[i];
        r.sound = t.text(i, "sound");
        r.note = static_cast<int>(t.number(i, "note"));
        r.goalHz = t.number(i, "goal_hz");
        r.oursPct = t.number(i, "ours_pct");
        r.yinPct = t.number(i, "yin_pct");
        r.yinfastPct = t.number(i, "yinfast_pct");
        r.roundAvgHz = t.number(i, "round_avg_hz");
        r.roundCents = t.number(i, "round_cents");
        r.yAdj = t.number(i, "y_adj");
        r.bullseye = t.number(i, "bullseye") == 1.0;
        r.releaseBullseyePct = t.number(i, "release_bullseye_pct");
    }
    return rows;
}

std::vector<WindowRow> windowRows(const Table &t) {
    static const char *const hz[] = {"ours_hz", "yin_hz", "yinfast_hz"};
    static const char *const cents[] = {"ours_cents", "yin_cents", "yinfast_cents"};
    std::vector<WindowRow> rows(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        WindowRow &r = rows[i];
        r.sound = t.text(i, "sound");
        r.note = static_cast<int>(t.number(i, "note"));
        r.afterOnset = t.number(i, "after_onset") == 1.0;
        for (std::size_t k = 0; k < 3; ++k) {
            r.hz[k] = t.number(i, hz[k]);
            r.cents[k] = t.number(i, cents[k]);
        }
    }
    return rows;
}

std::string noteName(int gameNote) {
    static const char *const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    const int midi = gameNote + 12;
    const int octave = (midi >= 0 ? midi / 12 : (midi - 11) / 12) - 1;
    return names[((midi % 12) + 12) % 12] + std::to_string(octave);
}

std::vector<std::string> soundOrder(const std::vector<NoteRow> &notes) {
    std::vector<std::string> order;
    for (const NoteRow &r : notes)
        if (std::find(order.begin(), order.end(), r.sound) == order.end())
            order.push_back(r.sound);
    return order;
}

Summary summarize(std::vector<double> v) {
    Summary s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const auto quantile = [&v](double p) {
        const double at = static_cast<double>(v.size() - 1) * p;
        const auto lo = static_cast<std::size_t>(at);
        const std::size_t hi = std::min(lo + 1, v.size() - 1);
        return v[lo] + (at - static_cast<double>(lo)) * (v[hi] - v[lo]);
    };
    s.median = quantile(0.5);
    s.p25 = quantile(0.25);
    s.p75 = quantile(0.75);
    s.min = v.front();
    s.max = v.back();
    return s;
}

double medianOf(std::vector<double> values) {
    values.erase(
        std::remove_if(values.begin(), values.end(), [](double x) { return std::isnan(x); }),
        values.end());
    return values.empty() ? kNaN : summarize(std::move(values)).median;
}

double meanOverNotes(const std::vector<NoteRow> &notes, double NoteRow::*column, int lo, int hi) {
    double sum = 0.0;
    int n = 0;
    for (const NoteRow &r : notes)
        if (r.note >= lo && r.note <= hi) {
            sum += r.*column;
            ++n;
        }
    return n ? sum / n : kNaN;
}

const std::array<const char *, 6> kErrorClasses = {
    "within 20 cents", "20 to 50 cents", "50 cents to a semitone", "whole octaves off (±50 cents)",
    "otherwise wrong", "no pitch"};

int errorClass(double cents) {
    if (std::isnan(cents))
        return 5;
    const double a = std::fabs(cents);
    const double fromOctave = std::fabs(a - 1200.0 * std::floor(a / 1200.0 + 0.5));
    if (a <= 20.0)
        return 0;
    if (a <= 50.0)
        return 1;
    if (a <= 100.0)
        return 2;
    return a >= 1150.0 && fromOctave <= 50.0 ? 3 : 4;
}

ErrorShares errorShares(const std::vector<WindowRow> &windows) {
    ErrorShares out;
    std::array<std::array<std::size_t, 3>, kHistBins> hist{};
    std::array<std::array<std::size_t, 3>, 6> classes{};
    for (const WindowRow &w : windows) {
        if (!w.afterOnset)
            continue;
        ++out.judged;
        for (std::size_t t = 0; t < 3; ++t) {
            const double c = w.cents[t];
            ++classes[static_cast<std::size_t>(errorClass(c))][t];
            if (!std::isnan(c) && std::fabs(c) < 100.0)
                ++hist[static_cast<std::size_t>((c + 100.0) / 5.0)][t];
        }
    }
    const double scale = out.judged ? 100.0 / static_cast<double>(out.judged) : 0.0;
    for (std::size_t t = 0; t < 3; ++t) {
        for (std::size_t b = 0; b < kHistBins; ++b)
            out.hist[b][t] = scale * static_cast<double>(hist[b][t]);
        for (std::size_t k = 0; k < 6; ++k)
            out.classes[k][t] = scale * static_cast<double>(classes[k][t]);
    }
    return out;
}

std::map<std::pair<std::string, int>, NoteMedians>
noteMedians(const std::vector<WindowRow> &windows) {
    std::map<std::pair<std::string, int>, std::array<std::vector<double>, 2>> cents;
    for (const WindowRow &w : windows)
        if (w.afterOnset) {
            auto &c = cents[{w.sound, w.note}];
            c[0].push_back(w.cents[0]);
            c[1].push_back(w.cents[1]);
        }
    std::map<std::pair<std::string, int>, NoteMedians> out;
    for (auto &entry : cents)
        out[entry.first] = {medianOf(entry.second[0]), medianOf(entry.second[1])};
    return out;
}

std::string judgedText(double yAdj) {
    static const struct {
        double yAdj;
        const char *text;
    } bands[] = {{0.0, "bullseye"},
                 {0.1, "sharp, 2–3 steps"},
                 {0.25, "sharp, 3–4 steps"},
                 {0.35, "sharp, 4–5 steps"},
                 {0.5, "sharp, over a semitone"},
                 {-0.1, "flat, 2–3 steps"},
                 {-0.25, "flat, 3–4 steps"},
                 {-0.35, "flat, 4–5 steps"},
                 {-0.5, "flat, over a semitone"}};
    for (const auto &band : bands)
        if (std::fabs(yAdj - band.yAdj) < 1e-6)
            return band.text;
    return format("%g", yAdj);
}

std::vector<BenchRow> benchRows(const Table &csv) {
    static const char *const aggregates[] = {"mean", "median", "stddev", "cv"};
    std::vector<BenchRow> rows;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const std::string &full = csv.text(i, "name");
        BenchRow row;
        for (const char *a : aggregates) {
            const std::string suffix = std::string("_") + a;
            if (full.size() > suffix.size() &&
                full.compare(full.size() - suffix.size(), suffix.size(), suffix) == 0) {
                row.aggregate = a;
                row.name = full.substr(0, full.size() - suffix.size());
            }
        }
        if (row.aggregate.empty())
            continue;
        row.name = row.name.substr(0, row.name.find('/'));
        const std::string &unit = csv.text(i, "time_unit");
        const double toUs = unit == "ns"   ? 0.001
                            : unit == "ms" ? 1000.0
                            : unit == "s"  ? 1e6
                            : unit == "us" ? 1.0
                                           : kNaN;
        if (std::isnan(toUs))
            throw std::runtime_error(full + ": unknown time unit \"" + unit + "\"");
        row.cpuUs = csv.number(i, "cpu_time") * toUs;
        row.realUs = csv.number(i, "real_time") * toUs;
        rows.push_back(row);
    }
    return rows;
}

std::vector<CallbackRow> callbackRows(const std::vector<BenchRow> &game) {
    static const std::map<std::string, std::string> labels = {
        {"BM_CallbackListening", "listening, tone on"},
        {"BM_CallbackListeningNoTone", "listening, tone off"},
        {"BM_CallbackToneOnly", "tone only"},
        {"BM_CallbackIdle", "idle"},
        {"BM_PerFrameTracking", "tracker in full at every frame"}};
    std::vector<std::string> order;
    std::map<std::string, CallbackRow> byName;
    for (const BenchRow &b : game) {
        if (b.aggregate != "median" && b.aggregate != "stddev")
            continue;
        auto found = byName.find(b.name);
        if (found == byName.end()) {
            const auto label = labels.find(b.name);
            CallbackRow row{label == labels.end() ? b.name : label->second, kNaN, kNaN};
            found = byName.emplace(b.name, row).first;
            order.push_back(b.name);
        }
        (b.aggregate == "median" ? found->second.medianUs : found->second.stddevUs) = b.cpuUs;
    }
    std::vector<CallbackRow> rows;
    for (const std::string &name : order)
        if (!std::isnan(byName[name].medianUs))
            rows.push_back(byName[name]);
    return rows;
}

namespace {

// The end of the block that starts at `from`: the position of "{{/name}}".
std::size_t blockEnd(const std::string &text, std::size_t from, const std::string &name) {
    const std::size_t end = text.find("{{/" + name + "}}", from);
    if (end == std::string::npos)
        throw std::runtime_error("the page template does not close {{" + name + "}}");
    return end;
}

} // namespace

std::string fillTemplate(const std::string &text, const std::map<std::string, std::string> &values,
                         const std::map<std::string, bool> &flags) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = text.find("{{", at);
        out.append(text, at, open == std::string::npos ? std::string::npos : open - at);
        if (open == std::string::npos)
            return out;
        const std::size_t close = text.find("}}", open);
        if (close == std::string::npos)
            throw std::runtime_error("the page template has an unclosed {{");
        const std::string tag = text.substr(open + 2, close - open - 2);
        at = close + 2;
        if (!tag.empty() && (tag[0] == '#' || tag[0] == '^')) {
            const std::string name = tag.substr(1);
            const auto flag = flags.find(name);
            if (flag == flags.end())
                throw std::runtime_error("the page template names an unknown flag: " + name);
            // A tag alone on its line takes its line with it.
            const auto alone = [&text](std::size_t from, std::size_t to) {
                return (from == 0 || text[from - 1] == '\n') && to < text.size() &&
                       text[to] == '\n';
            };
            if (alone(open, at))
                ++at;
            const std::size_t end = blockEnd(text, at, name);
            if (flag->second == (tag[0] == '#'))
                out += fillTemplate(text.substr(at, end - at), values, flags);
            at = end + name.size() + 5;
            if (alone(end, at))
                ++at;
            continue;
        }
        const auto value = values.find(tag);
        if (value == values.end())
            throw std::runtime_error("the page template names an unknown value: {{" + tag + "}}");
        out += value->second;
    }
}

} // namespace figures
