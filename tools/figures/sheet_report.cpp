#include "sheet_report.h"
#include "report.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace figures {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool exists(const std::string &path) {
    return std::ifstream(path).good();
}

SheetRow classRow(const Table &t, std::size_t r, const std::string &material) {
    SheetRow row;
    row.tracker = t.text(r, "tracker");
    row.material = material;
    row.frames = t.number(r, "frames");
    row.within50 = t.number(r, "within50_pct");
    row.within20 = t.number(r, "within20_pct");
    row.octaveUp = t.number(r, "octave_up_pct");
    row.octaveDown = t.number(r, "octave_down_pct");
    row.noPitch = t.number(r, "no_pitch_pct");
    return row;
}

void addUnique(std::vector<std::string> &names, const std::string &name) {
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

const SheetRow *find(const std::vector<SheetRow> &rows, const std::string &tracker,
                     const std::string &material) {
    for (const SheetRow &r : rows)
        if (r.tracker == tracker && r.material == material)
            return &r;
    return nullptr;
}

std::string pct(double v) {
    return std::isnan(v) ? "n/a" : format("%.0f", v);
}

std::string basename(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<SheetRow> sheetRows(const Table &sheet) {
    std::vector<SheetRow> rows;
    for (std::size_t r = 0; r < sheet.size(); ++r)
        rows.push_back(classRow(sheet, r, sheet.text(r, "material")));
    return rows;
}

std::vector<SheetRow> bandRows(const Table &bands, const std::string &material) {
    std::vector<SheetRow> rows;
    for (std::size_t r = 0; r < bands.size(); ++r)
        if (bands.text(r, "material") == material)
            rows.push_back(classRow(bands, r, bands.text(r, "band")));
    return rows;
}

std::vector<SheetRow> falseRows(const Table &falsePitches) {
    std::vector<SheetRow> rows;
    for (std::size_t r = 0; r < falsePitches.size(); ++r) {
        SheetRow row;
        row.tracker = falsePitches.text(r, "tracker");
        row.material = falsePitches.text(r, "material");
        row.frames = falsePitches.number(r, "frames");
        row.pitched = falsePitches.number(r, "pitched_pct");
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> trackerOrder(const std::vector<SheetRow> &rows) {
    std::vector<std::string> names;
    for (const SheetRow &r : rows)
        addUnique(names, r.tracker);
    return names;
}

std::vector<std::string> materialOrder(const std::vector<SheetRow> &rows) {
    std::vector<std::string> names;
    for (const SheetRow &r : rows)
        addUnique(names, r.material);
    return names;
}

std::string measureTable(const std::vector<SheetRow> &rows, const std::string &corner,
                         std::string (*cell)(const SheetRow &)) {
    const std::vector<std::string> materials = materialOrder(rows);
    std::string text = "| " + corner + " |", rule = "| --- |";
    for (const std::string &m : materials)
        text += " " + m + " |", rule += " ---: |";
    text += "\n" + rule;
    for (const std::string &tracker : trackerOrder(rows)) {
        text += "\n| " + tracker + " |";
        for (const std::string &m : materials) {
            const SheetRow *r = find(rows, tracker, m);
            text += " " + (r ? cell(*r) : std::string("–")) + " |";
        }
    }
    return text;
}

double overallWithin50(const std::vector<SheetRow> &rows, const std::string &tracker) {
    double frames = 0.0, hits = 0.0;
    for (const SheetRow &r : rows)
        if (r.tracker == tracker)
            frames += r.frames, hits += r.frames * r.within50 / 100.0;
    return frames > 0.0 ? 100.0 * hits / frames : kNaN;
}

std::vector<Speed> speeds(const std::string &dir) {
    std::vector<Speed> out;
    const std::string library = dir + "/speed.tsv";
    if (exists(library)) {
        const Table t = readTsv(library);
        for (std::size_t r = 0; r < t.size(); ++r)
            out.push_back({t.text(r, "tracker"),
                           t.number(r, "nanoseconds") / t.number(r, "samples"),
                           format("library calls in this process, steady_clock around each "
                                  "file's calls; per file the quickest of %.0f passes",
                                  t.number(r, "passes"))});
    }
    const std::string sptk = dir + "/sptk-speed.tsv";
    if (exists(sptk)) {
        const Table t = readTsv(sptk);
        for (std::size_t r = 0; r < t.size(); ++r) {
            const double startup = t.number(r, "startup_ns");
            const double net = t.number(r, "nanoseconds") - t.number(r, "files") * startup;
            out.push_back({t.text(r, "tracker"), net / t.number(r, "samples"),
                           format("one `pitch` process per file, wall clock, less one start-up "
                                  "per file (%.1f ms: the median of five runs on one window)",
                                  startup / 1e6)});
        }
    }
    const std::string praat = dir + "/praat-times.tsv";
    if (exists(praat)) {
        const Table t = readTsv(praat);
        double seconds = 0.0, samples = 0.0;
        for (std::size_t r = 0; r < t.size(); ++r)
            seconds += t.number(r, "seconds"), samples += t.number(r, "samples");
        if (samples > 0.0)
            out.push_back({"praat ac", seconds * 1e9 / samples,
                           "Praat's own stopwatch around \"To Pitch (ac)\" on each file, in one "
                           "Praat process (reading the file and writing the frames not counted)"});
    }
    return out;
}

void fillDatasheet(const std::string &dir, std::map<std::string, std::string> &v,
                   std::map<std::string, bool> &flags, std::vector<std::string> &glance) {
    const std::vector<SheetRow> rows = sheetRows(readTsv(dir + "/sheet.tsv"));
    const Table bandsTable = readTsv(dir + "/bands.tsv");
    const std::vector<SheetRow> singerBands = bandRows(bandsTable, "Singer");
    const std::vector<SheetRow> falsePitches = falseRows(readTsv(dir + "/false.tsv"));
    if (rows.empty())
        throw std::runtime_error(dir + "/sheet.tsv: no trackers scored");

    v["sheet_within50"] =
        measureTable(rows, "Within 50 cents, % of voiced frames",
                     [](const SheetRow &r) { return format("%.1f", r.within50); });
    v["sheet_within20"] =
        measureTable(rows, "Within 20 cents, % of voiced frames",
                     [](const SheetRow &r) { return format("%.1f", r.within20); });
    v["sheet_octaves"] = measureTable(rows, "Octave errors up / down, %", [](const SheetRow &r) {
        return format("%.1f / %.1f", r.octaveUp, r.octaveDown);
    });
    v["sheet_nopitch"] = measureTable(rows, "No pitch on voiced frames, %",
                                      [](const SheetRow &r) { return format("%.1f", r.noPitch); });
    v["sheet_false"] = measureTable(falsePitches, "Frames given a pitch, %",
                                    [](const SheetRow &r) { return format("%.1f", r.pitched); });
    v["sheet_bands"] = measureTable(singerBands, "Singer, within 50 cents, % per octave",
                                    [](const SheetRow &r) { return format("%.1f", r.within50); });

    // Speed against accuracy, for the table and the plot.
    const std::vector<Speed> speed = speeds(dir);
    double oursNs = kNaN;
    for (const Speed &s : speed)
        if (s.tracker == "wavepitch")
            oursNs = s.nsPerSample;
    std::string speedRows, plot = "#tracker\tns_per_sample\twithin50_pct\n";
    for (const Speed &s : speed) {
        const double accuracy = overallWithin50(rows, s.tracker);
        speedRows += format("%s| %s | %.3g | %.3g | %s | %s |", speedRows.empty() ? "" : "\n",
                            s.tracker.c_str(), s.nsPerSample, s.nsPerSample / oursNs,
                            pct(accuracy).c_str(), s.how.c_str());
        plot += format("%s\t%g\t%g\n", s.tracker.c_str(), s.nsPerSample, accuracy);
    }
    v["sheet_speed"] = speedRows;
    std::ofstream out(dir + "/speed_accuracy.tsv");
    out << plot;
    if (!out.flush())
        throw std::runtime_error(dir + "/speed_accuracy.tsv: cannot write");

    const Table slowest = readTsv(dir + "/slowest.tsv");
    v["sheet_slowest"] =
        slowest.size()
            ? format("%.2f µs (window %.0f of %s; the mean window takes %.2f µs)",
                     slowest.number(0, "nanoseconds") / 1000, slowest.number(0, "window"),
                     basename(slowest.text(0, "file")).c_str(), oursNs * 512 / 1000)
            : "not measured";

    const Table singer = readTsv(dir + "/singer.tsv");
    double vibLo = 1e9, vibHi = 0, extLo = 1e9, extHi = 0;
    for (std::size_t r = 0; r < singer.size(); ++r) {
        vibLo = std::min(vibLo, singer.number(r, "vibrato_hz"));
        vibHi = std::max(vibHi, singer.number(r, "vibrato_hz"));
        extLo = std::min(extLo, singer.number(r, "vibrato_cents"));
        extHi = std::max(extHi, singer.number(r, "vibrato_cents"));
    }
    v["sheet_singer_notes"] =
        singer.size()
            ? format("%zu notes from %s to %s, vibrato %.1f to %.1f Hz and ±%.0f to "
                     "±%.0f cents",
                     singer.size(), singer.text(0, "name").c_str(),
                     singer.text(singer.size() - 1, "name").c_str(), vibLo, vibHi, extLo, extHi)
            : "no notes";

    std::string load;
    std::getline(std::ifstream(dir + "/loadavg.txt"), load);
    std::istringstream loads(load);
    std::string l1, l5, l15;
    v["sheet_load"] = loads >> l1 >> l5 >> l15 ? l1 + ", " + l5 + " and " + l15 : "not recorded";

    std::string missing;
    for (std::ifstream in(dir + "/missing.txt"); in;) {
        std::string line;
        if (std::getline(in, line) && !line.empty())
            missing += (missing.empty() ? "" : "; ") + line;
    }
    flags["sheet_missing"] = !missing.empty();
    v["sheet_missing"] = missing;

    // Where ours loses: the lowest octave, and the instruments.
    const auto value = [](const std::vector<SheetRow> &from, const std::string &material,
                          const std::string &tracker, double SheetRow::*field) {
        const SheetRow *r = find(from, tracker, material);
        return r ? r->*field : kNaN;
    };
    const auto best = [&](const std::vector<SheetRow> &from, const std::string &material) {
        std::string name = "none";
        double top = -1.0;
        for (const SheetRow &r : from)
            if (r.material == material && r.tracker != "wavepitch" && r.within50 > top)
                top = r.within50, name = r.tracker;
        return top < 0 ? std::string("n/a") : format("%s %.0f %%", name.c_str(), top);
    };
    for (const char *band : {"C2–B2", "C3–B3"}) {
        const std::string key = band[1] == '2' ? "low" : "c3";
        v["sheet_" + key + "_ours"] =
            pct(value(singerBands, band, "wavepitch", &SheetRow::within50));
        v["sheet_" + key + "_nopitch"] =
            pct(value(singerBands, band, "wavepitch", &SheetRow::noPitch));
        v["sheet_" + key + "_best"] = best(singerBands, band);
    }
    v["sheet_instr_ours"] =
        pct(value(rows, "Sampled instruments", "wavepitch", &SheetRow::within50));
    v["sheet_instr_best"] = best(rows, "Sampled instruments");
    // Noise, and what ours does instead of guessing.
    v["sheet_noisy_ours"] =
        pct(value(rows, "Singer + noise 20 dB", "wavepitch", &SheetRow::within50));
    v["sheet_clean_ours"] = pct(value(rows, "Singer", "wavepitch", &SheetRow::within50));
    v["sheet_noisy_best"] = best(rows, "Singer + noise 20 dB");
    v["sheet_snoisy_ours"] =
        pct(value(rows, "Sampled + noise 20 dB", "wavepitch", &SheetRow::within50));
    double lo = 1e9, hi = -1.0;
    for (const SheetRow &r : rows)
        if (r.tracker == "wavepitch")
            lo = std::min(lo, r.noPitch), hi = std::max(hi, r.noPitch);
    v["sheet_ours_nopitch"] = hi < 0 ? "n/a" : format("%.0f to %.0f", lo, hi);
    v["sheet_yin_noise"] = pct(value(falsePitches, "Noise", "aubio yin", &SheetRow::pitched));
    v["sheet_yin_hum"] = pct(value(falsePitches, "Hum", "aubio yin", &SheetRow::pitched));
    v["sheet_ours_false"] =
        format("%s, %s and %s",
               pct(value(falsePitches, "Silence", "wavepitch", &SheetRow::pitched)).c_str(),
               pct(value(falsePitches, "Noise", "wavepitch", &SheetRow::pitched)).c_str(),
               pct(value(falsePitches, "Hum", "wavepitch", &SheetRow::pitched)).c_str());

    const double ours = overallWithin50(rows, "wavepitch");
    std::string top, fastest;
    double topPct = -1.0, fastestNs = 1e300;
    for (const Speed &s : speed) {
        const double a = overallWithin50(rows, s.tracker);
        if (s.tracker != "wavepitch" && a > topPct)
            topPct = a, top = format("%s, %.0f %% at %.3g ns", s.tracker.c_str(), a, s.nsPerSample);
        if (s.tracker != "wavepitch" && s.nsPerSample < fastestNs)
            fastestNs = s.nsPerSample, fastest = s.tracker;
    }
    glance.push_back(format("- Datasheet, every voiced frame of every material: wavepitch %.0f %% "
                            "within 50 cents at %.3g ns per sample; the most accurate peer %s; "
                            "the fastest peer, %s, takes %.3g times as long as wavepitch.",
                            ours, oursNs, top.c_str(), fastest.c_str(), fastestNs / oursNs));
    glance.push_back("- The synthesised singer below C3: wavepitch " + v["sheet_low_ours"] +
                     " % within 50 cents (best peer: " + v["sheet_low_best"] + "); from C3 to B3 " +
                     v["sheet_c3_ours"] + " % (" + v["sheet_c3_best"] + ").");
}

} // namespace figures
