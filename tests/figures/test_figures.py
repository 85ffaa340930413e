"""The figures' Python stages on inputs whose right answer is known: measures,
truth, the singer, MIDI files, classes of error and benchmark tables."""

import os
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "figures"))
import material  # noqa: E402
import report  # noqa: E402
import sheet  # noqa: E402


def test_measures_count_each_kind_of_frame():
    # Four voiced frames at 440 Hz: right, an octave up, no pitch, 20 cents
    # sharp; two unvoiced: nothing, and a pitch.
    ref_hz = np.array([440.0, 440, 440, 440, 0, 0])
    ref_v = np.array([1.0, 1, 1, 1, 0, 0])
    est = np.array([440.0, 880, 0, 440 * 2 ** (20 / 1200), 0, 300])
    m, frames = sheet.measures(ref_hz, ref_v, est)
    assert frames == 6
    assert m["rpa"] == pytest.approx(50) and m["rca"] == pytest.approx(75)
    assert m["vr"] == pytest.approx(75) and m["vfa"] == pytest.approx(50)
    assert m["oa"] == pytest.approx(50)
    assert m["up"] == pytest.approx(25) and m["down"] == 0
    only_unvoiced, _ = sheet.measures(np.zeros(3), np.zeros(3), np.array([0.0, 0, 200]))
    assert only_unvoiced["rpa"] is None and only_unvoiced["vfa"] == pytest.approx(100 / 3)


def test_truth_by_kind_and_scoring_drops_unscored_frames():
    files = [{"file": "a.wav", "material": "Sampled voices", "kind": "sampled", "source": "-",
              "goal_hz": "220", "from_s": "0.15", "to_s": "1.94"},
             {"file": "s.wav", "material": "Singer", "kind": "singer", "source": "singer-60",
              "goal_hz": "0", "from_s": "0", "to_s": "0"},
             {"file": "n.wav", "material": "Noise", "kind": "noise", "source": "-",
              "goal_hz": "0", "from_s": "0", "to_s": "0"}]
    grid = [{"file": "singer-60", "time_s": str(i * 64 / 44100), "truth_hz": hz, "voicing": v}
            for i, (hz, v) in enumerate([("0", "silent"), ("260", "edge"), ("262", "voiced")])]
    truth = sheet.Truth(files, grid)
    assert truth.materials == ["Sampled voices", "Singer", "Noise"]
    hz, v = truth.at("a.wav", np.array([0.1, 1.0]))
    assert np.isnan(v[0]) and v[1] == 1 and hz[1] == 220
    hz, v = truth.at("s.wav", np.array([0.0, 64 / 44100, 2 * 64 / 44100 + 0.0001]))
    assert v[0] == 0 and np.isnan(v[1]) and (v[2], hz[2]) == (1, 262)
    frames = {"t": {"a.wav": ([0.1, 1.0], [0.0, 221.0]), "n.wav": ([0.5], [100.0])}}
    scored = sheet.score(truth, frames)
    assert [list(x) for x in scored["t", "Sampled voices"]] == [[220.0], [1.0], [221.0]]
    assert list(scored["t", "Noise"][2]) == [100.0]
    assert sheet.octave_band(65.4) == "C2–B2" and sheet.octave_band(261.6) == "C4–B4"


@pytest.mark.parametrize("midi", [36, 60, 84])
def test_singer_sings_its_truth_and_repeats_from_a_seed(midi):
    samples, _, points = material.sing(midi, 14)
    voiced = [(t, hz) for t, hz, v in points if v == "voiced"]
    assert points[0][2] == "silent" and points[0][1] == 0
    # At three instants the autocorrelation's period in 1024 samples (its first
    # peak within 10 % of the best) is the true pitch's within 2 %.
    for at in (0.5, 1.0, 1.4):
        i = int(at * 44100)
        x = samples[i - 512:i + 1536]
        r = np.array([np.dot(x[:1024], x[lag:lag + 1024]) for lag in range(20, 900)])
        k = np.flatnonzero(r >= 0.9 * r.max())[0]
        while r[k + 1] > r[k]:
            k += 1
        lag = 20 + k + (r[k - 1] - r[k + 1]) / (2 * (r[k - 1] - 2 * r[k] + r[k + 1]))
        hz = next(h for t, h in voiced if t >= at)
        assert 44100 / lag == pytest.approx(hz, rel=0.02)
    assert np.max(np.abs(samples)) == pytest.approx(0.5)
    assert np.array_equal(samples, material.sing(midi, 14)[0])


def test_midi_file_holds_one_sustained_note():
    data = material.midi_file(52, 69, 2)
    assert data[:4] == b"MThd" and data[12:14] == b"\x01\xe0" and data[14:18] == b"MTrk"
    track = data[22:]
    assert len(track) == int.from_bytes(data[18:22], "big")
    assert track[1:3] == b"\xc0\x34" and track[4:7] == b"\x90\x45\x64"
    assert (track[7] & 0x7F) << 7 | track[8] == 1920 and track[-3:] == b"\xff\x2f\x00"
    with pytest.raises(ValueError):
        material.midi_file(52, 128, 2)


def test_page_classes_names_and_benchmarks(tmp_path):
    assert [report.error_class(c) for c in (5, -30, 80, 1210, -2390, 700, np.nan)] == \
        [0, 1, 2, 3, 3, 4, 5]
    assert report.note_name(36) == "C3" and report.note_name(57) == "A4"
    csv = tmp_path / "b.csv"
    csv.write_text("Run on (2 X 2000 MHz CPU s)\nname,iterations,real_time,cpu_time,time_unit\n"
                   '"BM_A/512",10,1500,1400,ns\n"BM_A/512_median",3,2,1.5,us\n'
                   '"BM_A/512_stddev",3,0.1,0.2,ms\n')
    assert report.benchmark(str(csv)) == {"BM_A": {"median": (1.5, 2.0), "stddev": (200.0, 100.0)}}
