"""The figures page's plots, drawn with matplotlib from the numbers report.py
computed."""

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

OURS, YIN, YINFAST = "#1f4e9a", "#e07000", "#aa2222"
TRACKS = (("ours", OURS, "-", "o"), ("aubio yin", YIN, "--", "o"),
          ("aubio yinfast (same as yin here)", YINFAST, ":", "x"))


def save(fig, path, *grids):
    for ax in grids:
        ax.grid(color="#dddddd")
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    plt.close(fig)


def accuracy(sounds, path):
    """sounds: [(sound, [(note, name, ours %, yin %, yinfast %, rounds %)])]."""
    cols = 1 if len(sounds) < 2 else 2
    rows = (len(sounds) + cols - 1) // cols
    height = 4.5 * rows + 1.6
    fig, axes = plt.subplots(rows, cols, figsize=(7 * cols, height), squeeze=False)
    fig.suptitle("Pitch accuracy on rendered notes, per goal note of the game", weight="bold",
                 y=1 - 0.1 / height, va="top")
    for ax, (sound, notes) in zip(axes.flat, sounds):
        x = [n[0] for n in notes]
        ax.axvspan(35.4, 40.5, color="#eeeeee", label="fewer than 2 periods in 512 samples")
        ax.bar(x, [n[5] for n in notes], 0.7, color="#55aa55", alpha=0.5,
               label="rounds the game judges a bullseye")
        for k, (label, colour, style, marker) in enumerate(TRACKS):
            ax.plot(x, [n[2 + k] for n in notes], style, marker=marker, color=colour,
                    label=label + (": windows within 50 cents" if k == 0 else ""))
        ax.set(title=sound, xlim=(35.4, 59.6), ylim=(0, 105), ylabel="% of windows; % of rounds")
        ax.set_xticks(x, [n[1] for n in notes], rotation=90, fontsize=8)
        ax.grid(axis="y", color="#dddddd")
    for ax in axes.flat[len(sounds):]:
        ax.axis("off")
    handles, labels = axes.flat[0].get_legend_handles_labels()
    fig.legend(handles, labels, loc="upper center", ncol=1 + cols, fontsize=9,
               bbox_to_anchor=(0.5, 1 - 0.45 / height))
    fig.tight_layout(rect=(0, 0, 1, 1 - 1.1 / height))
    fig.savefig(path, dpi=100)
    plt.close(fig)


def cents(hist, classes, path):
    """hist: [(bin centre, ours %, yin %, yinfast %)]; classes: [(name, the same)]."""
    fig, (left, right) = plt.subplots(1, 2, figsize=(14, 5.6), width_ratios=(3, 2))
    fig.suptitle("Where the tracked pitch of each window lies, all sounds and goal notes together",
                 weight="bold")
    left.axvspan(-50, 50, color="#f2f7ee")
    left.axvspan(-40, 40, color="#e3efd9", label="the game's bullseye, ±40 cents")
    for k, (label, colour, style, _) in enumerate(TRACKS):
        left.step([h[0] for h in hist], [h[1 + k] for h in hist], style, where="mid",
                  color=colour, label=label)
    left.set(title="Within a semitone of the note (5-cent bins)", xlim=(-100, 100),
             xlabel="cents from the note (100 cents = 1 semitone)", ylabel="% of windows")
    left.legend(fontsize=9)
    for k, (label, colour, _, _) in enumerate(TRACKS):
        right.bar([i + (k - 1) * 0.27 for i in range(len(classes))], [c[1 + k] for c in classes],
                  0.27, color=colour, label=label)
    right.set(title="Every window, by error", ylim=(0, 100))
    right.set_xticks(range(len(classes)), [c[0] for c in classes], rotation=30, ha="right",
                     fontsize=9)
    save(fig, path, left)


def latency(times, path):
    """times: [(run, key-to-tone ms)]."""
    fig, ax = plt.subplots(figsize=(8, 4.8))
    ax.plot([t[0] for t in times], [t[1] for t in times], "o", color=OURS)
    ax.set(title="From the space key to the goal tone on the output\n"
           "one point per tone; a fresh program and audio server per run",
           xlabel="run", ylabel="key to tone (ms)", ylim=(0, None),
           xlim=(0.5, max(t[0] for t in times) + 0.5))
    ax.set_xticks(sorted({t[0] for t in times}))
    save(fig, path, ax)


def speed(points, path):
    """points: [(tracker, ns per sample, % of voiced frames within 50 cents)]."""
    fig, ax = plt.subplots(figsize=(9, 6))
    for name, ns, pct in points:
        ax.plot(ns, pct, "o", color=OURS if name.startswith("wavepitch") else YIN, ms=9)
        ax.annotate(name, (ns, pct), textcoords="offset points", xytext=(0, 8), ha="center")
    ax.set_xscale("log")
    ax.set(title="Speed against accuracy, every tracker on the same material", ylim=(0, 105),
           xlabel="time per sample of audio, ns (log scale; left is faster)",
           ylabel="raw pitch accuracy (voiced frames within 50 cents), %")
    ax.margins(x=0.15)
    save(fig, path, ax)


def callback(rows, period_us, path):
    """rows: [(label, median µs)]."""
    fig, ax = plt.subplots(figsize=(10, 5.6))
    ax.bar(range(len(rows)), [r[1] for r in rows], 0.6, color=OURS)
    for i, (_, us) in enumerate(rows):
        ax.annotate(f"{us / 1000:.2f} ms" if us >= 1000 else f"{us:.3g} µs", (i, us),
                    textcoords="offset points", xytext=(0, 4), ha="center")
    ax.axhline(period_us, color=YINFAST, lw=2, label=f"the block's period: {period_us / 1000:.1f} ms")
    ax.axhline(period_us / 100, color="#777777", ls="--",
               label="1 % of the period: the goal for a listening block")
    ax.set_yscale("log")
    ax.set(ylim=(0.1, 1e5), ylabel="CPU time per block (µs, log scale)",
           title="The audio callback's CPU time per 512-frame block\n"
           "median of repeated runs, against the 11.6 ms the block lasts")
    ax.set_xticks(range(len(rows)), [r[0] for r in rows], fontsize=9)
    ax.legend(loc="upper left")
    save(fig, path, ax)
