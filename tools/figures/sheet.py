"""The datasheet's measures: every tracker's frames against the truth at each
frame's centre, scored with mir_eval.melody (raw pitch and chroma accuracy,
voicing recall and false alarm, overall accuracy), plus what mir_eval does
not give: octave errors up and down, and the accuracy per octave of the voice.
"""

import warnings
from collections import defaultdict

import numpy as np
from mir_eval import melody

RATE, TRUTH_STEP = 44100, 64


def read_tsv(path):
    """Rows of a tab-separated table as dicts, by the names of its '#' header."""
    with open(path) as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    header = lines[0].lstrip("#").split("\t")
    return [dict(zip(header, line.split("\t"))) for line in lines[1:] if not line.startswith("#")]


class Truth:
    """What each file's frames should report, by its kind in the files table:
    "singer" (the truth table's contour of `source`), "sampled" (goal_hz from
    from_s to to_s), or "silence", "noise", "hum" (nothing)."""

    def __init__(self, files, truth_rows):
        grids = defaultdict(list)
        for row in truth_rows:
            voicing = {"voiced": 1.0, "silent": 0.0}.get(row["voicing"], np.nan)
            grids[row["file"]].append((float(row["truth_hz"]), voicing))
        self.files = {row["file"]: row for row in files}
        self.grids = {name: np.array(grid) for name, grid in grids.items()}
        self.materials = list(dict.fromkeys(row["material"] for row in files))

    def at(self, path, times):
        """(reference Hz, reference voicing) at the times; voicing NaN where a
        frame is not scored (attacks, releases, a note's tail)."""
        f = self.files[path]
        if f["kind"] == "singer":
            grid = self.grids[f["source"]]
            at = np.clip(np.round(times * RATE / TRUTH_STEP).astype(int), 0, len(grid) - 1)
            return grid[at, 0], grid[at, 1]
        if f["kind"] == "sampled":
            inside = (times >= float(f["from_s"])) & (times <= float(f["to_s"]))
            return np.full(times.size, float(f["goal_hz"])), np.where(inside, 1.0, np.nan)
        return np.zeros(times.size), np.zeros(times.size)


def read_frames(paths):
    """{tracker: {file: (times, Hz)}} from the trackers' tables."""
    frames = defaultdict(lambda: defaultdict(lambda: ([], [])))
    for path in paths:
        for row in read_tsv(path):
            times, hz = frames[row["tracker"]][row["file"]]
            times.append(float(row["time_s"]))
            hz.append(float(row["hz"]))
    return frames


def score(truth, frames):
    """{(tracker, material): (ref Hz, ref voicing, est Hz)} over the scored
    frames of every file, in the order the tables name trackers."""
    parts = defaultdict(list)
    for tracker, files in frames.items():
        for path, (times, hz) in files.items():
            ref_hz, ref_v = truth.at(path, np.array(times))
            keep = ~np.isnan(ref_v)
            parts[tracker, truth.files[path]["material"]].append(
                (ref_hz[keep], ref_v[keep], np.array(hz)[keep]))
    return {key: tuple(np.concatenate(p) for p in zip(*chunks)) for key, chunks in parts.items()}


def measures(ref_hz, ref_v, est_hz):
    """mir_eval's measures and ours, in %; None where the frames give no
    answer (no voiced reference frames, or no unvoiced ones)."""
    est_abs, est_v = melody.freq_to_voicing(est_hz)
    ref_c, est_c = melody.hz2cents(ref_hz), melody.hz2cents(est_abs)
    voiced, unvoiced = ref_v.sum(), (1 - ref_v).sum()
    both = (ref_v > 0) & (est_v > 0)
    off = est_c - ref_c
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        m = dict.fromkeys(("rpa", "rca", "vr", "up", "down"))
        m.update(vfa=melody.voicing_false_alarm(ref_v, est_v) if unvoiced else None,
                 oa=melody.overall_accuracy(ref_v, ref_c, est_v, est_c))
        if voiced:
            m.update(rpa=melody.raw_pitch_accuracy(ref_v, ref_c, est_v, est_c),
                     rca=melody.raw_chroma_accuracy(ref_v, ref_c, est_v, est_c),
                     vr=melody.voicing_recall(ref_v, est_v),
                     up=np.sum(both & (np.abs(off - 1200) < 50)) / voiced,
                     down=np.sum(both & (np.abs(off + 1200) < 50)) / voiced)
    return {k: None if v is None else 100.0 * v for k, v in m.items()}, int(ref_v.size)


def octave_band(hz):
    midi = int(round(69 + 12 * np.log2(hz / 440)))
    return f"C{midi // 12 - 1}–B{midi // 12 - 1}"


def bands(ref_hz, ref_v, est_hz):
    """The measures per octave of the voiced reference frames."""
    voiced = ref_v > 0
    names = np.array([octave_band(h) for h in ref_hz[voiced]])
    out = {}
    for name in sorted(set(names), key=lambda n: int(n[1:n.index("–")])):
        pick = names == name
        out[name] = measures(ref_hz[voiced][pick], ref_v[voiced][pick], est_hz[voiced][pick])[0]
    return out
