"""Every number, table and plot of the figures page, from the tables of one run
of scripts/figures.sh (rounds, every tracker's frames and speed, key-to-tone
times, benchmarks): fills in the page template (Jinja2) and draws the plots."""

import argparse
import csv
import datetime
import os
import platform
import statistics
import subprocess
import sys
from collections import defaultdict

import jinja2
import mir_eval
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plots  # noqa: E402
import sheet  # noqa: E402
from material import note_name as midi_name  # noqa: E402

RATE, WINDOW = 44100, 512
BLOCK_US = WINDOW / RATE * 1e6
CLASSES = ["within 20 cents", "20 to 50 cents", "50 cents to a semitone",
           "whole octaves off (±50 cents)", "otherwise wrong", "no pitch"]
ACCURACY_TRACKERS = ("wavepitch", "aubio yin", "aubio yinfast")
JUDGED = {0.0: "bullseye", 0.1: "sharp, 2–3 steps", 0.25: "sharp, 3–4 steps",
          0.35: "sharp, 4–5 steps", 0.5: "sharp, over a semitone", -0.1: "flat, 2–3 steps",
          -0.25: "flat, 3–4 steps", -0.35: "flat, 4–5 steps", -0.5: "flat, over a semitone"}
CALLBACK = {"BM_CallbackListening": "listening, tone on",
            "BM_CallbackListeningNoTone": "listening, tone off",
            "BM_CallbackToneOnly": "tone only", "BM_CallbackIdle": "idle",
            "BM_PerFrameTracking": "tracker in full at every frame"}
FRAMES = {"BM_FrameAtRest": "arrow at rest", "BM_FrameWithShots": "a new shot every 30 frames"}


def note_name(game_note):
    return midi_name(game_note + 12)  # "C3" for the game's note 36


def cents(hz, goal):
    return 1200 * np.log2(hz / goal) if hz > 0 else np.nan


def pct(value, digits=0):
    return "n/a" if value is None or np.isnan(value) else f"{value:.{digits}f}"


def md_table(header, rows, left=(0,)):
    """A markdown table: the columns in `left` left-aligned, the others right."""
    rule = "".join(" --- |" if i in left else " ---: |" for i in range(len(header)))
    lines = ["| " + " | ".join(header) + " |", "|" + rule]
    return "\n".join(lines + ["| " + " | ".join(map(str, r)) + " |" for r in rows])


def error_class(c):
    if np.isnan(c):
        return 5
    a = abs(c)
    if a <= 100:
        return 0 if a <= 20 else 1 if a <= 50 else 2
    return 3 if a >= 1150 and abs(a - 1200 * round(a / 1200)) <= 50 else 4


def accuracy_rows(notes, frames):
    """Per note: each tracker's cents off the goal in the windows from the
    onset to the note-off, the shares within 50 cents, median cents and the
    round; and every window's pitch, for the yin/yinfast comparison."""
    rows, every = [], defaultdict(list)
    for n in notes:
        goal, c = float(n["goal_hz"]), []
        for tracker in ACCURACY_TRACKERS:
            hz = frames[tracker][n["file"]][1][:int(n["windows"])]
            every[tracker] += hz
            c.append(np.array([cents(h, goal) for h in hz[int(n["onset_window"]):]]))
        rows.append(dict(sound=n["sound"], note=int(n["note"]), goal=goal, cents=c,
                         shares=[100 * np.mean(np.abs(x) <= 50) if x.size else 0.0 for x in c],
                         medians=[np.nanmedian(x) if np.any(~np.isnan(x)) else np.nan
                                  for x in c[:2]],
                         avg=float(n["round_avg_hz"]), y_adj=float(n["y_adj"]),
                         bullseye=n["bullseye"] == "1", released=float(n["release_bullseye_pct"])))
    return rows, every


def note_table(rows):
    def cell(m):
        return "–" if np.isnan(m) else f"{m:.0f}"
    return md_table(
        ["Note", "Goal Hz", "Periods in 512", "Ours %", "yin %", "yinfast %",
         "Median cents, ours / yin", "Round at note-off: average Hz (cents)", "Judged",
         "Rounds judged a bullseye %"],
        [[f"{note_name(r['note'])} ({r['note']})", f"{r['goal']:.2f}",
          f"{r['goal'] * WINDOW / RATE:.2f}", *(f"{s:.1f}" for s in r["shares"]),
          f"{cell(r['medians'][0])} / {cell(r['medians'][1])}",
          f"{r['avg']:.1f} ({cents(r['avg'], r['goal']):+.0f})",
          JUDGED.get(round(r["y_adj"], 2), f"{r['y_adj']:g}"), f"{r['released']:.0f}"]
         for r in rows], left=(0, 8))


def mean(values):
    return float(np.mean(values)) if len(values) else np.nan


def accuracy_section(v, rows, every):
    sounds = list(dict.fromkeys(r["sound"] for r in rows))
    summary, tables, weak, plot = [], [], [], []
    for sound in sounds:
        rs = [r for r in rows if r["sound"] == sound]
        high = [r for r in rs if r["note"] >= 41]
        summary.append([sound, *(f"{mean([r['shares'][k] for r in rs]):.1f}" for k in range(3)),
                        *(f"{mean([r['shares'][k] for r in high]) if high else 0:.1f}" for k in range(2)),
                        f"{sum(r['bullseye'] for r in rs)} of {len(rs)}",
                        f"{mean([r['released'] for r in rs]):.1f}"])
        tables.append(f"### {sound}\n\n{note_table(rs)}")
        weak += [f"{sound} {note_name(r['note'])} ({r['shares'][0]:.0f} %)" for r in high
                 if r["shares"][0] < 50]
        plot.append((sound, [(r["note"], note_name(r["note"]), *r["shares"], r["released"])
                             for r in rs]))
    v.update(summary_rows="\n".join(md_table(["x"] * 8, summary).split("\n")[2:]),
             note_tables="\n\n".join(tables), weak_notes=", ".join(weak) or "none",
             sound_list=", ".join(sounds), note_count=len(rows))
    names = sorted({r["note"] for r in rows})
    v["notes_sentence"] = (
        "Every goal note of the game (36 to 59 on its scale, where 57 is 440 Hz: C3 to B4)."
        if len(names) >= 24 else
        f"The goal notes {', '.join(map(note_name, names))} of the game (57 on its scale is 440 Hz).")
    agreed = [((r["medians"][0] + r["medians"][1]) / 2, r) for r in rows if r["note"] >= 41
              and abs(r["medians"][0] - r["medians"][1]) <= 10]
    offset, at = max(agreed, key=lambda a: abs(a[0]), default=(None, None))
    v["tuning_sentence"] = ("no note shows one" if at is None else
                            f"the largest is {offset:+.0f} cents ({at['sound']} note {at['note']})")
    same = np.abs(np.array(every["aubio yin"]) - np.array(every["aubio yinfast"])) <= 0.01
    v["yin_yinfast_same"] = f"{100 * np.mean(same):.2f}"
    return plot


def error_shares(v, rows):
    """The classes of error and the histogram over every judged window."""
    all_cents = [np.concatenate([r["cents"][k] for r in rows]) for k in range(3)]
    n = all_cents[0].size
    classes = [[name, *(100 * np.mean([error_class(c) == i for c in x]) for x in all_cents)]
               for i, name in enumerate(CLASSES)]
    edges = np.arange(-100, 101, 5)
    hist = np.array([np.histogram(x[~np.isnan(x)], edges)[0] * 100 / n for x in all_cents])
    v.update(windows_judged=n,
             class_rows="\n".join(f"| {c[0]} | {c[1]:.2f} | {c[2]:.2f} | {c[3]:.2f} |"
                                  for c in classes))
    return [(e + 2.5, *hist[:, i]) for i, e in enumerate(edges[:-1])], classes


def lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [line.strip() for line in f if line.strip()]


def spread(values, unit):
    if not values:
        return "| 0 | not measured | | |"
    q = np.percentile(values, [0, 25, 50, 75, 100])
    return (f"| {len(values)} | {q[2]:.4g} {unit} | {q[1]:.4g}–{q[3]:.4g} {unit} | "
            f"{q[0]:.4g}–{q[4]:.4g} {unit} |")


def latency_section(v, opt, glance):
    key, first, stream, block, plot = [], [], [], [], []
    for r in range(1, opt.latency_runs + 1):
        run = f"{opt.work}/latency/run{r}"
        for line in lines(run + ".keytone"):
            label, ms = line.split()
            if label != "key_to_tone_ms":
                raise ValueError(f"{run}.keytone: unexpected line: {line}")
            key.append(float(ms))
            plot.append((r, float(ms)))
        stream += lines(run + ".stream")
        block += lines(run + ".block")
        first += [float(s) for s in lines(run + "/first_frame_seconds")]
    v.update(key_to_tone_cells=spread(key, "ms"), first_frame_cells=spread(first, "s"),
             stream_latency_frames="/".join(sorted(set(stream))),
             block_frames="/".join(sorted(set(block))),
             stream_latency_zero=stream.count("0"), stream_latency_runs=len(stream))
    if key:
        glance.append(f"- From the space key to the goal tone: {statistics.median(key):.0f} ms "
                      f"median, {min(key):.0f} to {max(key):.0f} ms.")
    return plot, first


def benchmark(path):
    """{name: {aggregate: (cpu µs, real µs)}} from Google Benchmark's CSV."""
    out = defaultdict(dict)
    text = lines(path)
    start = next((i for i, line in enumerate(text) if line.startswith("name,")), len(text))
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    for row in csv.DictReader(text[start:]):
        name, _, aggregate = row["name"].rpartition("_")
        if aggregate in ("mean", "median", "stddev", "cv"):
            k = scale[row["time_unit"]]
            out[name.split("/")[0]][aggregate] = (float(row["cpu_time"]) * k,
                                                  float(row["real_time"]) * k)
    return out


def sig3(x):
    return f"{x:.0f}" if x >= 1000 else f"{x:.3g}"


def nice(x):
    return f"{x:.0f}" if x >= 100 else f"{x:.1f}" if x >= 10 else f"{x:.2g}"


def bench_section(v, opt, glance):
    game = benchmark(f"{opt.work}/game_bench.csv")
    callback = [(CALLBACK.get(n, n), a["median"][0], a["stddev"][0]) for n, a in game.items()]
    v["callback_rows"] = "\n".join(f"| {c[0]} | {nice(c[1])} µs | {nice(c[2])} µs | "
                                   f"{nice(100 * c[1] / BLOCK_US)} % |" for c in callback)
    reps = [a.split("=")[1] for a in opt.bench_args.split() if "repetitions" in a]
    v["repetitions"] = reps[0] if reps else "1"
    if callback:
        glance.append(f"- The audio callback while listening: {callback[0][1]:.3g} µs of CPU per "
                      f"11.6 ms block ({100 * callback[0][1] / BLOCK_US:.2g} % of its period).")
    frames = [(FRAMES.get(n, n), a["median"][1]) for n, a in
              benchmark(f"{opt.work}/render_bench.csv").items()]
    v["frame_rows"] = "\n".join(f"| {f[0]} | {f[1] / 1000:.1f} ms | {1e6 / f[1]:.0f} |"
                                for f in frames)
    if frames:
        fps = [1e6 / f[1] for f in frames]
        glance.append(f"- The scene under Xvfb with Mesa's software renderer: {min(fps):.0f} to "
                      f"{max(fps):.0f} frames per second.")
    return [(c[0], c[1]) for c in callback], bool(frames)


def command(text):
    out = subprocess.run(text, shell=True, capture_output=True, text=True, timeout=30).stdout
    return out.splitlines()[0].strip() if out.strip() else ""


def machine_rows(opt):
    cores = len(os.sched_getaffinity(0))
    cpu = dict(line.split(":", 1) for line in
               subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines())
    cpu = {k: v.strip() for k, v in cpu.items()}
    cache = dict(line.split("=", 1) for line in lines(f"{opt.build}/CMakeCache.txt")
                 if "=" in line and not line.startswith(("#", "//")))
    load = " ".join((lines(f"{opt.work}/loadavg.txt") or ["not recorded"])[0].split()[:3])
    mem = int(lines("/proc/meminfo")[0].split()[1]) // 1048576
    hyper = cpu.get("Hypervisor vendor")
    rows = [("Date", datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
            ("Processor", f"{cpu.get('Model name', '?')}, {cores} cores"
             + (f", virtual machine ({hyper})" if hyper else "")),
            ("Load average before the benchmarks", f"{load} (1, 5 and 15 minutes; {cores} cores)"),
            ("Memory", f"{mem} GiB"),
            ("System", f"Debian {lines('/etc/debian_version')[0]}, Linux {platform.release()}"),
            ("Compiler", f"{command(repr(cache.get('CMAKE_CXX_COMPILER:FILEPATH', 'c++')) + ' --version')}, "
             f"{cache.get('CMAKE_BUILD_TYPE:STRING', '?')} build"),
            ("Renderer", f"{command('fluidsynth --version')}, sound font "
             + command("dpkg-query -W -f='${Package} ${Version}' fluid-soundfont-gm")),
            ("Compared with", f"aubio {command('pkg-config --modversion aubio')} (libaubio)"),
            ("Measures and plots", f"mir_eval {mir_eval.__version__}, "
             f"matplotlib {plots.matplotlib.__version__}")]
    return "\n".join(f"| {k} | {v} |" for k, v in rows)


MEASURES = (("rpa", "Raw pitch accuracy, % of voiced frames"), ("rca", "Raw chroma accuracy, "
            "% of voiced frames"), ("vr", "Voicing recall, % of voiced frames"),
            ("oa", "Overall accuracy, % of scored frames"))


def speeds(d):
    """(tracker, ns per sample, how it was timed) from whichever tables exist."""
    out = []
    for r in sheet.read_tsv(f"{d}/speed.tsv"):
        out.append((r["tracker"], float(r["nanoseconds"]) / float(r["samples"]),
                    "library calls in this process, steady_clock around each file's calls; "
                    f"per file the quickest of {r['passes']} passes"))
    if os.path.exists(f"{d}/sptk-speed.tsv"):
        for r in sheet.read_tsv(f"{d}/sptk-speed.tsv"):
            start = float(r["startup_ns"])
            net = float(r["nanoseconds"]) - float(r["files"]) * start
            out.append((r["tracker"], net / float(r["samples"]),
                        "one `pitch` process per file, wall clock, less one start-up per file "
                        f"({start / 1e6:.1f} ms: the median of five runs on one window)"))
    if os.path.exists(f"{d}/praat-times.tsv"):
        rows = sheet.read_tsv(f"{d}/praat-times.tsv")
        out.append(("praat ac", sum(float(r["seconds"]) for r in rows) * 1e9
                    / sum(float(r["samples"]) for r in rows),
                    "Praat's own stopwatch around \"To Pitch (ac)\" on each file, in one Praat "
                    "process (reading the file and writing the frames not counted)"))
    return out


def sheet_tables(v, trackers, materials, m, singer_bands):
    def table(corner, mats, cell):
        return md_table([corner, *mats], [[t, *(cell(m.get((t, x), {})) for x in mats)]
                                           for t in trackers])
    voiced, unvoiced = ([x for x in materials if any(m.get((t, x), {}).get(k) is not None
                                                     for t in trackers)] for k in ("rpa", "vfa"))
    v["sheet_tables"] = "\n\n".join(
        [table(corner, voiced, lambda c, key=key: pct(c.get(key), 1)) for key, corner in MEASURES]
        + [table("Octave errors up / down, % of voiced frames", voiced,
                 lambda c: f"{pct(c.get('up'), 1)} / {pct(c.get('down'), 1)}")])
    v["sheet_vfa"] = table("Voicing false alarm, % of unvoiced frames", unvoiced,
                           lambda c: pct(c.get("vfa"), 1))
    bands = list(dict.fromkeys(b for t in trackers for b in singer_bands[t]))
    v["sheet_bands"] = md_table(["Singer, raw pitch accuracy, % per octave", *bands],
                                [[t, *(pct(singer_bands[t].get(b, {}).get("rpa"), 1)
                                       for b in bands)] for t in trackers])


def best_peer(m, material):
    peers = [(c["rpa"], t) for (t, x), c in m.items() if x == material
             and not t.startswith("wavepitch") and c.get("rpa") is not None]
    return f"{max(peers)[1]} {max(peers)[0]:.0f} %" if peers else "n/a"


def sheet_prose(v, m, bands, speed, overall):
    ours = "wavepitch"
    for band, key in (("C2–B2", "low"), ("C3–B3", "c3")):
        c = bands[ours].get(band, {})
        v[f"sheet_{key}_ours"] = pct(c.get("rpa"))
        v[f"sheet_{key}_nopitch"] = pct(100 - c["vr"] if c.get("vr") is not None else None)
        v[f"sheet_{key}_best"] = best_peer({(t, band): b.get(band, {}) for t, b in bands.items()
                                            if band in b}, band)
    get = lambda t, x, k: m.get((t, x), {}).get(k)  # noqa: E731
    v.update(sheet_instr_ours=pct(get(ours, "Sampled instruments", "rpa")),
             sheet_instr_best=best_peer(m, "Sampled instruments"),
             sheet_clean_ours=pct(get(ours, "Singer", "rpa")),
             sheet_noisy_ours=pct(get(ours, "Singer + noise 20 dB", "rpa")),
             sheet_noisy_best=best_peer(m, "Singer + noise 20 dB"),
             sheet_snoisy_ours=pct(get(ours, "Sampled + noise 20 dB", "rpa")),
             sheet_yin_noise=pct(get("aubio yin", "Noise", "vfa")),
             sheet_yin_hum=pct(get("aubio yin", "Hum", "vfa")),
             sheet_ours_false="{}, {} and {}".format(*(pct(get(ours, x, "vfa"))
                                                       for x in ("Silence", "Noise", "Hum"))))
    misses = [100 - c["vr"] for (t, _), c in m.items() if t == ours and c.get("vr") is not None]
    v["sheet_ours_nopitch"] = f"{min(misses):.0f} to {max(misses):.0f}" if misses else "n/a"
    # What a longer window buys and costs, beside the 512-sample window.
    ns, v["wide"] = {t: n for t, n, _ in speed}, {}
    for size, t in ((512, ours), (1024, "wavepitch 1024"), (2048, "wavepitch 2048")):
        b = bands.get(t, {})
        weak = min(((c["rpa"], n) for n, c in b.items() if int(n[1]) >= 4), default=(np.nan, "–"))
        v["wide"][size] = dict(
            low=pct(b.get("C2–B2", {}).get("rpa")), c3=pct(b.get("C3–B3", {}).get("rpa")),
            weak=f"{pct(weak[0])} % ({weak[1]})", all=pct(overall.get(t)),
            hum=pct(get(t, "Hum", "vfa")), ns=sig3(ns.get(t, np.nan)),
            x=f"{ns.get(t, np.nan) / ns[ours]:.2g}")


def sheet_section(v, d, frames, glance):
    truth = sheet.Truth(sheet.read_tsv(f"{d}/files.tsv"), sheet.read_tsv(f"{d}/audio/truth.tsv"))
    scored = sheet.score(truth, frames)
    trackers = list(frames)
    m = {key: sheet.measures(*arrays)[0] for key, arrays in scored.items()}
    singer_bands = {t: sheet.bands(*scored[t, "Singer"]) for t in trackers if (t, "Singer") in scored}
    sheet_tables(v, trackers, truth.materials, m, singer_bands)
    # Every voiced frame of every material, for the speed table and the plot.
    overall = {}
    for t in trackers:
        parts = [scored[t, x] for x in truth.materials if (t, x) in scored]
        ref_hz, ref_v, est = (np.concatenate(p) for p in zip(*parts))
        overall[t] = sheet.measures(ref_hz[ref_v > 0], ref_v[ref_v > 0], est[ref_v > 0])[0]["rpa"]
    speed = speeds(d)
    ours_ns = dict((t, n) for t, n, _ in speed)["wavepitch"]
    v["sheet_speed"] = "\n".join(f"| {t} | {sig3(n)} | {sig3(n / ours_ns)} | {pct(overall.get(t))} | "
                                 f"{how} |" for t, n, how in speed)
    slow = sheet.read_tsv(f"{d}/slowest.tsv")[0]
    v["sheet_slowest"] = (f"{float(slow['nanoseconds']) / 1000:.2f} µs (window {slow['window']} of "
                          f"{os.path.basename(slow['file'])}; the mean window takes "
                          f"{ours_ns * WINDOW / 1000:.2f} µs)")
    singer = sheet.read_tsv(f"{d}/audio/singer.tsv")
    vib = [float(r["vibrato_hz"]) for r in singer]
    ext = [float(r["vibrato_cents"]) for r in singer]
    v["sheet_singer_notes"] = (f"{len(singer)} notes from {singer[0]['name']} to "
                               f"{singer[-1]['name']}, vibrato {min(vib):.1f} to {max(vib):.1f} Hz "
                               f"and ±{min(ext):.0f} to ±{max(ext):.0f} cents")
    load = (lines(f"{d}/loadavg.txt") or ["not recorded"])[0].split()
    v["sheet_load"] = f"{load[0]}, {load[1]} and {load[2]}" if len(load) >= 3 else "not recorded"
    v["sheet_missing"] = "; ".join(lines(f"{d}/missing.txt"))
    sheet_prose(v, m, singer_bands, speed, overall)
    peers = [(overall[t], n, t) for t, n, _ in speed if not t.startswith("wavepitch")]
    top, fast = max(peers), min(peers, key=lambda p: p[1])
    glance += [f"- Datasheet, every voiced frame of every material: wavepitch {overall['wavepitch']:.0f} % "
               f"within 50 cents (mir_eval's raw pitch accuracy) at {ours_ns:.3g} ns per sample; the "
               f"most accurate peer {top[2]}, {top[0]:.0f} % at {top[1]:.3g} ns; the fastest peer, "
               f"{fast[2]}, takes {fast[1] / ours_ns:.3g} times as long as wavepitch.",
               f"- The synthesised singer below C3: wavepitch {v['sheet_low_ours']} % within 50 "
               f"cents (best peer: {v['sheet_low_best']}); from C3 to B3 {v['sheet_c3_ours']} % "
               f"({v['sheet_c3_best']}); with a 2048-sample window {v['wide'][2048]['low']} % and "
               f"{v['wide'][2048]['c3']} %, at {v['wide'][2048]['x']} times the time per sample."]
    return [(t, n, overall[t]) for t, n, _ in speed]


def main():
    p = argparse.ArgumentParser(description=__doc__)
    for name in ("--work", "--build", "--template", "--out"):
        p.add_argument(name, required=True)
    for name in ("--note-seconds", "--latency-runs", "--tones-per-run"):
        p.add_argument(name, type=int, default=1)
    p.add_argument("--bench-args", default="")
    p.add_argument("--render-cmd", default="")
    p.add_argument("--quick", action="store_true")
    opt = p.parse_args()
    v, glance, d = {}, [], f"{opt.work}/sheet"
    frames = sheet.read_frames(f"{d}/{n}" for n in ("library.tsv", "sptk-RAPT.tsv",
                               "sptk-SWIPE.tsv", "praat.tsv") if os.path.exists(f"{d}/{n}"))
    notes = sheet.read_tsv(f"{opt.work}/notes.tsv")
    rows, every = accuracy_rows(notes, frames)
    accuracy_plot = accuracy_section(v, rows, every)
    hist, classes = error_shares(v, rows)
    share = lambda lo, hi, k: mean([r["shares"][k] for r in rows if lo <= r["note"] <= hi])  # noqa: E731
    bull = lambda lo: mean([r["released"] for r in rows if r["note"] >= lo])  # noqa: E731
    glance += [f"- Goal notes from F3 up (two periods or more in a 512-sample window): ours tracks "
               f"{pct(share(41, 59, 0))} % of windows within 50 cents of the note, aubio yin "
               f"{pct(share(41, 59, 1))} %.",
               f"- C3 to E3 (under two periods): ours {pct(share(36, 40, 0))} %, aubio yin "
               f"{pct(share(36, 40, 1))} %.",
               f"- A note held in tune is judged a bullseye by the game at {pct(bull(36))} % of "
               f"release points ({pct(bull(41))} % from F3 up)."]
    latency_plot, first = latency_section(v, opt, glance)
    callback, has_frames = bench_section(v, opt, glance)
    if first:
        glance.append(f"- The first frame is on screen {statistics.median(first):.2g} s after "
                      "launch (median).")
    speed_plot = sheet_section(v, d, frames, glance)
    v.update(glance_bullets="\n".join(glance), machine_rows=machine_rows(opt),
             mir_eval_version=mir_eval.__version__, quick=opt.quick, callback=bool(callback),
             frames=has_frames, note_seconds=opt.note_seconds, latency_runs=opt.latency_runs,
             tones_per_run=opt.tones_per_run, bench_args=opt.bench_args, render_cmd=opt.render_cmd)
    env = jinja2.Environment(loader=jinja2.FileSystemLoader(os.path.dirname(opt.template)),
                             undefined=jinja2.StrictUndefined, trim_blocks=True,
                             lstrip_blocks=True, keep_trailing_newline=True)
    page = env.get_template(os.path.basename(opt.template)).render(v)
    with open(f"{opt.out}/figures.md", "w") as out:
        out.write(page)
    plots.accuracy(accuracy_plot, f"{opt.out}/figures/accuracy.png")
    plots.cents(hist, classes, f"{opt.out}/figures/cents.png")
    if latency_plot:
        plots.latency(latency_plot, f"{opt.out}/figures/latency.png")
    plots.speed(speed_plot, f"{opt.out}/figures/speed.png")
    if callback:
        plots.callback(callback, BLOCK_US, f"{opt.out}/figures/callback.png")


if __name__ == "__main__":
    main()
