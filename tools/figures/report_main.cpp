// figures-report: every number and table of the figures page, from the tables
// of one run of scripts/figures.sh. Reads the run's folder, writes the tables
// the plots draw into the same folder, and the page from its template.
#include "program.h"
#include "report.h"
#include "sheet_report.h"
#include "tables.h"

#include <sched.h>
#include <sys/utsname.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using figures::format;

struct Options {
    std::string work, build, templatePath, page;
    bool quick = false;
    int noteSeconds = 2, latencyRuns = 1, tonesPerRun = 1;
    std::string benchArgs, renderCmd;
};

bool exists(const std::string &path) {
    return std::ifstream(path).good();
}

std::vector<std::string> lines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

std::string firstLine(const std::string &path) {
    const std::vector<std::string> all = lines(path);
    return all.empty() ? std::string() : all.front();
}

// The first line a fixed command prints, without its newline.
std::string commandLine(const std::string &command) {
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen((command + " 2>/dev/null").c_str(), "r"),
                                                pclose);
    char text[512] = {};
    if (!pipe || !std::fgets(text, sizeof text, pipe.get()))
        return "";
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// "value" of the first "key: value" line of a command's or file's output.
std::string field(const std::vector<std::string> &text, const std::string &key) {
    for (const std::string &line : text)
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() &&
            line[key.size()] == ':') {
            const std::size_t start = line.find_first_not_of(" \t", key.size() + 1);
            return start == std::string::npos ? "" : line.substr(start);
        }
    return "";
}

std::vector<std::string> commandLines(const std::string &command) {
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen((command + " 2>/dev/null").c_str(), "r"),
                                                pclose);
    std::vector<std::string> out;
    char text[512];
    while (pipe && std::fgets(text, sizeof text, pipe.get())) {
        std::string line = text;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string cacheValue(const std::vector<std::string> &cache, const std::string &name) {
    for (const std::string &line : cache)
        if (line.compare(0, name.size() + 1, name + ":") == 0) {
            const std::size_t eq = line.find('=');
            return eq == std::string::npos ? "" : line.substr(eq + 1);
        }
    return "";
}

std::string joined(const std::vector<std::string> &parts, const std::string &sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i ? sep : "") + parts[i];
    return out;
}

// The machine and the tools, as the page states them.
std::string machineRows(const Options &opt) {
    cpu_set_t cpus;
    const int cores = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 1;
    const std::vector<std::string> lscpu = commandLines("lscpu");
    const std::string hypervisor = field(lscpu, "Hypervisor vendor");
    const std::vector<std::string> cache = lines(opt.build + "/CMakeCache.txt");
    const std::string cxx = cacheValue(cache, "CMAKE_CXX_COMPILER");
    utsname system{};
    uname(&system);
    const std::string memKb = field(lines("/proc/meminfo"), "MemTotal");
    std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));

    std::vector<std::string> rows;
    rows.push_back(format("| Date | %s |", date));
    rows.push_back(
        format("| Processor | %s, %d cores%s |", field(lscpu, "Model name").c_str(), cores,
               hypervisor.empty() ? "" : (", virtual machine (" + hypervisor + ")").c_str()));
    std::istringstream load(firstLine(opt.work + "/loadavg.txt"));
    std::string l1, l5, l15;
    if (load >> l1 >> l5 >> l15)
        rows.push_back(format("| Load average before the benchmarks | %s %s %s (1, 5 and 15 "
                              "minutes; %d cores) |",
                              l1.c_str(), l5.c_str(), l15.c_str(), cores));
    rows.push_back(
        format("| Memory | %.0f GiB |", std::floor(std::atof(memKb.c_str()) / 1048576.0)));
    rows.push_back(format("| System | Debian %s, Linux %s |",
                          firstLine("/etc/debian_version").c_str(), system.release));
    rows.push_back(format("| Compiler | %s, %s build |",
                          commandLine("'" + cxx + "' --version").c_str(),
                          cacheValue(cache, "CMAKE_BUILD_TYPE").c_str()));
    rows.push_back(
        format("| Renderer | %s, sound font %s |", commandLine("fluidsynth --version").c_str(),
               commandLine("dpkg-query -W -f='${Package} ${Version}' fluid-soundfont-gm").c_str()));
    rows.push_back(format("| Compared with | aubio %s (libaubio) |",
                          commandLine("pkg-config --modversion aubio").c_str()));
    rows.push_back(format("| Plots | %s |", commandLine("gnuplot --version").c_str()));
    return joined(rows, "\n");
}

// "n | median | middle half | range" cells of a latency table row.
std::string statsCells(const std::vector<double> &values, const char *unit) {
    const figures::Summary s = figures::summarize(values);
    if (s.n == 0)
        return "| 0 | not measured | | |";
    return format("| %zu | %.4g %s | %.4g–%.4g %s | %.4g–%.4g %s |", s.n, s.median, unit, s.p25,
                  s.p75, unit, s.min, s.max, unit);
}

std::string percentOrNa(double v) {
    return std::isnan(v) ? "n/a" : format("%.0f", v);
}

// A number as the callback table shows it: three figures at most.
std::string nice(double x) {
    if (std::isnan(x))
        return "n/a";
    return x >= 100 ? format("%.0f", x) : x >= 10 ? format("%.1f", x) : format("%.2g", x);
}

constexpr double kBlockUs = 512.0 / 44100 * 1e6;

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path);
    out << text;
    if (!out.flush())
        throw std::runtime_error(path + ": cannot write");
}

struct Latency {
    std::vector<double> keyToToneMs, firstFrameS;
    std::vector<std::string> stream, block;
    std::string plotTable = "#run\tkey_to_tone_ms\n";
};

Latency readLatency(const Options &opt) {
    Latency l;
    for (int r = 1; r <= opt.latencyRuns; ++r) {
        const std::string run = opt.work + "/latency/run" + std::to_string(r);
        for (const std::string &line : lines(run + ".keytone")) {
            std::istringstream words(line);
            std::string key;
            double ms = 0.0;
            if (!(words >> key >> ms) || key != "key_to_tone_ms")
                throw std::runtime_error(run + ".keytone: unexpected line: " + line);
            l.keyToToneMs.push_back(ms);
            l.plotTable += format("%d\t%g\n", r, ms);
        }
        for (const std::string &v : lines(run + ".stream"))
            l.stream.push_back(v);
        for (const std::string &v : lines(run + ".block"))
            l.block.push_back(v);
        // Written by the harness as it starts the game; a missing one is "not measured".
        for (const std::string &v : lines(run + "/first_frame_seconds"))
            l.firstFrameS.push_back(std::atof(v.c_str()));
    }
    return l;
}

std::string distinct(const std::vector<std::string> &values) {
    const std::set<std::string> unique(values.begin(), values.end());
    return joined(std::vector<std::string>(unique.begin(), unique.end()), "/");
}

void run(const Options &opt) {
    using figures::NoteRow;
    const std::vector<NoteRow> notes = figures::noteRows(figures::readTsv(opt.work + "/notes.tsv"));
    const std::vector<figures::WindowRow> windows =
        figures::windowRows(figures::readTsv(opt.work + "/windows.tsv"));
    if (notes.empty())
        throw std::runtime_error(opt.work + "/notes.tsv: no notes");
    const std::vector<std::string> sounds = figures::soundOrder(notes);
    const auto medians = figures::noteMedians(windows);
    const figures::ErrorShares shares = figures::errorShares(windows);
    const Latency latency = readLatency(opt);
    const std::string gameCsv = opt.work + "/game_bench.csv";
    const std::string renderCsv = opt.work + "/render_bench.csv";
    const std::vector<figures::CallbackRow> callback =
        exists(gameCsv)
            ? figures::callbackRows(figures::benchRows(figures::readBenchmarkCsv(gameCsv)))
            : std::vector<figures::CallbackRow>();
    std::vector<figures::BenchRow> frames;
    if (exists(renderCsv))
        for (const figures::BenchRow &b : figures::benchRows(figures::readBenchmarkCsv(renderCsv)))
            if (b.aggregate == "median")
                frames.push_back(b);

    std::map<std::string, std::string> v;
    std::string accuracy = "#note\tours_pct\tyin_pct\tyinfast_pct\trelease_bullseye_pct\tname"
                           "\tsound\n";
    std::string summary, tables, weak;
    for (const std::string &sound : sounds) {
        if (&sound != &sounds.front())
            accuracy += "\n\n";
        double sum[5] = {}, high[2] = {};
        int n = 0, highN = 0, bullseyes = 0;
        tables += "\n### " + sound + "\n\n" +
                  "| Note | Goal Hz | Periods in 512 | Ours % | yin % | yinfast % | Median cents, "
                  "ours / yin | Round at note-off: average Hz (cents) | Judged | Rounds judged a "
                  "bullseye % |\n| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | --- | "
                  "---: |\n";
        for (const NoteRow &r : notes) {
            if (r.sound != sound)
                continue;
            const std::string name = figures::noteName(r.note);
            accuracy += format("%d\t%g\t%g\t%g\t%g\t%s\t%s\n", r.note, r.oursPct, r.yinPct,
                               r.yinfastPct, r.releaseBullseyePct, name.c_str(), sound.c_str());
            const auto m = medians.find({sound, r.note});
            const auto cents = [](double c) { return std::isnan(c) ? "–" : format("%.0f", c); };
            const std::string med =
                m == medians.end() ? "– / –" : cents(m->second.ours) + " / " + cents(m->second.yin);
            tables += format("| %s (%d) | %.2f | %.2f | %.1f | %.1f | %.1f | %s | %.1f (%+.0f) | "
                             "%s | %.0f |\n",
                             name.c_str(), r.note, r.goalHz, r.goalHz * 512 / 44100, r.oursPct,
                             r.yinPct, r.yinfastPct, med.c_str(), r.roundAvgHz, r.roundCents,
                             figures::judgedText(r.yAdj).c_str(), r.releaseBullseyePct);
            ++n;
            sum[0] += r.oursPct, sum[1] += r.yinPct, sum[2] += r.yinfastPct;
            sum[3] += r.releaseBullseyePct, bullseyes += r.bullseye;
            if (r.note >= 41) {
                ++highN, high[0] += r.oursPct, high[1] += r.yinPct;
                if (r.oursPct < 50)
                    weak += format("%s%s %s (%.0f %%)", weak.empty() ? "" : ", ", sound.c_str(),
                                   name.c_str(), r.oursPct);
            }
        }
        summary +=
            format("| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %d of %d | %.1f |\n", sound.c_str(),
                   sum[0] / n, sum[1] / n, sum[2] / n, highN ? high[0] / highN : 0.0,
                   highN ? high[1] / highN : 0.0, bullseyes, n, sum[3] / n);
    }
    writeFile(opt.work + "/accuracy.tsv", accuracy);
    summary.pop_back();
    tables.pop_back();
    v["summary_rows"] = summary;
    v["note_tables"] = tables;
    v["weak_notes"] = weak.empty() ? "none" : weak;

    std::set<int> distinctNotes;
    for (const NoteRow &r : notes)
        distinctNotes.insert(r.note);
    std::vector<std::string> names;
    for (int note : distinctNotes)
        names.push_back(figures::noteName(note));
    v["notes_sentence"] =
        distinctNotes.size() >= 24
            ? "Every goal note of the game (36 to 59 on its scale, where 57 is 440 Hz: C3 to B4)."
            : "The goal notes " + joined(names, ", ") + " of the game (57 on its scale is 440 Hz).";
    v["sound_list"] = joined(sounds, ", ");
    v["note_count"] = std::to_string(notes.size());
    v["note_seconds"] = std::to_string(opt.noteSeconds);

    // The largest offset both trackers agree on (medians within 10 cents), at
    // F3 and above, where yin can see the note.
    double best = 0.0, bestValue = 0.0;
    std::string bestAt;
    for (const auto &m : medians) {
        const double o = m.second.ours, y = m.second.yin;
        if (m.first.second < 41 || std::isnan(o) || std::isnan(y) || std::fabs(o - y) > 10)
            continue;
        if (std::fabs((o + y) / 2) > best) {
            best = std::fabs((o + y) / 2);
            bestValue = (o + y) / 2;
            bestAt = m.first.first + " note " + std::to_string(m.first.second);
        }
    }
    v["tuning_sentence"] =
        bestAt.empty() ? "no note shows one"
                       : format("the largest is %+.0f cents (%s)", bestValue, bestAt.c_str());

    std::string hist = "#cents\tours_pct\tyin_pct\tyinfast_pct\n";
    for (int b = 0; b < figures::kHistBins; ++b) {
        const auto &h = shares.hist[static_cast<std::size_t>(b)];
        hist += format("%g\t%.4f\t%.4f\t%.4f\n", -100 + 5 * b + 2.5, h[0], h[1], h[2]);
    }
    writeFile(opt.work + "/hist.tsv", hist);
    std::string classes = "#class\tours_pct\tyin_pct\tyinfast_pct\n", classRows;
    for (std::size_t k = 0; k < figures::kErrorClasses.size(); ++k) {
        const auto &c = shares.classes[k];
        classes += format("%s\t%.2f\t%.2f\t%.2f\n", figures::kErrorClasses[k], c[0], c[1], c[2]);
        classRows += format("%s| %s | %.2f | %.2f | %.2f |", k ? "\n" : "",
                            figures::kErrorClasses[k], c[0], c[1], c[2]);
    }
    writeFile(opt.work + "/classes.tsv", classes);
    v["class_rows"] = classRows;
    v["windows_judged"] = std::to_string(shares.judged);
    std::size_t same = 0;
    for (const figures::WindowRow &w : windows)
        same += std::fabs(w.hz[1] - w.hz[2]) <= 0.01;
    v["yin_yinfast_same"] =
        format("%.2f", windows.empty() ? 0.0 : 100.0 * same / static_cast<double>(windows.size()));

    writeFile(opt.work + "/latency.tsv", latency.plotTable);
    v["latency_runs"] = std::to_string(opt.latencyRuns);
    v["tones_per_run"] = std::to_string(opt.tonesPerRun);
    v["key_to_tone_cells"] = statsCells(latency.keyToToneMs, "ms");
    v["first_frame_cells"] = statsCells(latency.firstFrameS, "s");
    v["stream_latency_frames"] = distinct(latency.stream);
    v["block_frames"] = distinct(latency.block);
    std::size_t zero = 0;
    for (const std::string &s : latency.stream)
        zero += s == "0";
    v["stream_latency_zero"] = std::to_string(zero);
    v["stream_latency_runs"] = std::to_string(latency.stream.size());

    std::string callbackTable = "#benchmark\tmedian_us\tstddev_us\n", callbackRows;
    for (const figures::CallbackRow &c : callback) {
        callbackTable += format("%s\t%g\t%g\n", c.label.c_str(), c.medianUs, c.stddevUs);
        callbackRows += format("%s| %s | %s µs | %s µs | %s %% |", callbackRows.empty() ? "" : "\n",
                               c.label.c_str(), nice(c.medianUs).c_str(), nice(c.stddevUs).c_str(),
                               nice(100 * c.medianUs / kBlockUs).c_str());
    }
    if (!callback.empty())
        writeFile(opt.work + "/callback.tsv", callbackTable);
    v["callback_rows"] = callbackRows;
    const std::string reps = "--benchmark_repetitions=";
    const std::size_t at = opt.benchArgs.find(reps);
    v["repetitions"] = at == std::string::npos
                           ? "1"
                           : opt.benchArgs.substr(at + reps.size(),
                                                  opt.benchArgs.find(' ', at) - at - reps.size());
    v["bench_args"] = opt.benchArgs;
    v["render_cmd"] = opt.renderCmd;

    std::string frameRows;
    double fpsLo = 0.0, fpsHi = 0.0;
    for (const figures::BenchRow &b : frames) {
        const double fps = 1e6 / b.realUs;
        const std::string label = b.name == "BM_FrameAtRest"      ? "arrow at rest"
                                  : b.name == "BM_FrameWithShots" ? "a new shot every 30 frames"
                                                                  : b.name;
        frameRows += format("%s| %s | %.1f ms | %.0f |", frameRows.empty() ? "" : "\n",
                            label.c_str(), b.realUs / 1000, fps);
        fpsLo = frameRows.find('\n') == std::string::npos ? fps : std::min(fpsLo, fps);
        fpsHi = std::max(fpsHi, fps);
    }
    v["frame_rows"] = frameRows;

    std::vector<std::string> glance;
    glance.push_back("- Goal notes from F3 up (two periods or more in a 512-sample window): ours "
                     "tracks " +
                     percentOrNa(figures::meanOverNotes(notes, &NoteRow::oursPct, 41, 59)) +
                     " % of windows within 50 cents of the note, aubio yin " +
                     percentOrNa(figures::meanOverNotes(notes, &NoteRow::yinPct, 41, 59)) + " %.");
    glance.push_back("- C3 to E3 (under two periods): ours " +
                     percentOrNa(figures::meanOverNotes(notes, &NoteRow::oursPct, 36, 40)) +
                     " %, aubio yin " +
                     percentOrNa(figures::meanOverNotes(notes, &NoteRow::yinPct, 36, 40)) + " %.");
    glance.push_back(
        "- A note held in tune is judged a bullseye by the game at " +
        percentOrNa(figures::meanOverNotes(notes, &NoteRow::releaseBullseyePct, 36, 59)) +
        " % of release points (" +
        percentOrNa(figures::meanOverNotes(notes, &NoteRow::releaseBullseyePct, 41, 59)) +
        " % from F3 up).");
    const figures::Summary keyToTone = figures::summarize(latency.keyToToneMs);
    if (keyToTone.n)
        glance.push_back(format("- From the space key to the goal tone: %.0f ms median, %.0f to "
                                "%.0f ms.",
                                keyToTone.median, keyToTone.min, keyToTone.max));
    if (!callback.empty())
        glance.push_back(format("- The audio callback while listening: %.3g µs of CPU per 11.6 ms "
                                "block (%.2g %% of its period).",
                                callback.front().medianUs,
                                100 * callback.front().medianUs / kBlockUs));
    if (!frames.empty())
        glance.push_back(format("- The scene under Xvfb with Mesa's software renderer: %.0f to "
                                "%.0f frames per second.",
                                fpsLo, fpsHi));
    const figures::Summary firstFrame = figures::summarize(latency.firstFrameS);
    if (firstFrame.n)
        glance.push_back(format("- The first frame is on screen %.2g s after launch (median).",
                                firstFrame.median));
    std::map<std::string, bool> flags = {
        {"quick", opt.quick}, {"callback", !callback.empty()}, {"frames", !frames.empty()}};
    flags["sheet"] = exists(opt.work + "/sheet/sheet.tsv");
    if (flags["sheet"])
        figures::fillDatasheet(opt.work + "/sheet", v, flags, glance);
    v["glance_bullets"] = joined(glance, "\n");
    v["machine_rows"] = machineRows(opt);

    std::ifstream in(opt.templatePath);
    if (!in)
        throw std::runtime_error(opt.templatePath + ": cannot read the page template");
    std::ostringstream text;
    text << in.rdbuf();
    writeFile(opt.page, figures::fillTemplate(text.str(), v, flags));
}

int usage(std::ostream &out, int status) {
    out << "usage: figures-report --work DIR --build DIR --template FILE --page FILE\n"
           "         [--quick] [--note-seconds N] [--latency-runs N] [--tones-per-run N]\n"
           "         [--bench-args TEXT] [--render-cmd TEXT]\n"
           "  Reads the tables of one figures run in DIR (notes.tsv, windows.tsv,\n"
           "  latency/, game_bench.csv, render_bench.csv), writes the tables the plots\n"
           "  draw beside them and the page from the template.\n";
    return status;
}

// Returns the exit status to end with at once, or -1 to go on.
int parseOptions(int argc, char **argv, Options &opt) {
    const std::map<std::string, std::string *> texts = {
        {"--work", &opt.work}, {"--build", &opt.build},          {"--template", &opt.templatePath},
        {"--page", &opt.page}, {"--bench-args", &opt.benchArgs}, {"--render-cmd", &opt.renderCmd}};
    const std::map<std::string, int *> counts = {{"--note-seconds", &opt.noteSeconds},
                                                 {"--latency-runs", &opt.latencyRuns},
                                                 {"--tones-per-run", &opt.tonesPerRun}};
    const int status = figures::parseCommandLine(
        argc, argv, &usage,
        [&](const std::string &arg) {
            if (arg != "--quick")
                return false;
            opt.quick = true;
            return true;
        },
        [&](const std::string &arg, const std::string &value) {
            if (texts.count(arg)) {
                *texts.at(arg) = value;
                return true;
            }
            if (!counts.count(arg))
                return false;
            char *end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 1 || n > 1000)
                return false;
            *counts.at(arg) = static_cast<int>(n);
            return true;
        });
    if (status >= 0)
        return status;
    return opt.work.empty() || opt.build.empty() || opt.templatePath.empty() || opt.page.empty()
               ? usage(std::cerr, 2)
               : -1;
}

} // namespace

int main(int argc, char **argv) {
    return figures::runProgram<Options>("figures-report", argc, argv, &parseOptions, &run);
}
