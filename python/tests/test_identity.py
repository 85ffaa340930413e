"""The module gives what the C library gives, bit for bit, for the same
samples and the same record history."""

import threading
import tracemalloc

import numpy as np
import pytest

import wavepitch
from conftest import bits, sine


def varied_windows(seed=13):
    """A few hundred (samples, start, count) windows that exercise the whole
    estimator and every path of the tracking stage: voiced, noisy, silent and
    constant windows, octave jumps, gaps, counts that are not powers of two
    and counts too short to estimate, and NaN and infinite samples."""
    rng = np.random.default_rng(seed)
    windows = []
    for i in range(320):
        count = int(rng.choice([4, 64, 256, 512, 1000, 1024, 2048, 3000]))
        lead = int(rng.integers(0, 40))
        kind = i % 16
        hz = float(rng.uniform(60.0, 2000.0))
        n = lead + count + int(rng.integers(0, 8))
        if kind < 8:
            x = sine(hz, n, rng.uniform(0.01, 1.0), rng.uniform(0, 2 * np.pi))
            x += sine(2 * hz, n, rng.uniform(0.0, 0.4)) + sine(3 * hz, n, rng.uniform(0, 0.2))
        elif kind < 10:
            x = sine(hz, n) + rng.normal(0.0, rng.uniform(0.01, 0.5), n)
        elif kind == 10:
            x = np.zeros(n)
        elif kind == 11:
            x = np.full(n, rng.uniform(-1, 1)) + sine(hz, n, 0.3)  # offset from zero
        elif kind == 12:
            x = sine(hz / 2 if rng.random() < 0.5 else hz * 2, n)  # an octave away
        elif kind == 13:
            x = rng.normal(0.0, 1.0, n)
            count = int(rng.choice([0, 1, 2, 3]))  # too short to estimate
        elif kind == 14:
            x = sine(hz, n)
            x[lead + int(rng.integers(0, count))] = rng.choice([np.nan, np.inf, -np.inf])
        else:
            x = sine(hz, n, rng.uniform(0.001, 0.01)) * rng.uniform(1e-6, 1e6)
        windows.append((np.ascontiguousarray(x, dtype=np.float64), lead, count))
    return windows


def test_compute_matches_c_over_varied_windows(clib):
    windows = varied_windows()
    tracker, record = wavepitch.Tracker(), clib.new_record()
    voiced = 0
    for number, (x, start, count) in enumerate(windows):
        want = clib.compute(record, x, start, count)
        got = tracker.compute(x, start, count)
        assert bits(got) == bits(want), f"window {number}: {got!r} != {want!r}"
        assert bits(tracker.last_pitch) == bits(record._lastPitch), f"window {number}"
        assert tracker.confidence == record._confidence, f"window {number}"
        voiced += got > 0.0
    # The sequence really exercises both pitches and gaps.
    assert 100 < voiced < len(windows) - 30


def test_default_count_is_the_samples_after_start(clib):
    x = np.ascontiguousarray(sine(330.0, 1500))
    tracker, record = wavepitch.Tracker(), clib.new_record()
    for start in (0, 100, 476, 1400, 1500):
        assert bits(tracker.compute(x, start)) == bits(clib.compute(record, x, start, 1500 - start))
    assert tracker.confidence == record._confidence


@pytest.mark.parametrize("convert", [
    lambda x: x.astype(np.float32),
    lambda x: (x * 30000).astype(np.int16),
    lambda x: (x * 1000).astype(np.int64),
    lambda x: (x * 100 + 200).astype(np.uint8),
    lambda x: x.astype(">f8"),                # float64, but not in native byte order
    lambda x: np.repeat(x, 2)[::2],           # float64, but not contiguous
    lambda x: x.tolist(),
    lambda x: tuple(x.tolist()),
], ids=["float32", "int16", "int64", "uint8", "big-endian", "strided", "list", "tuple"])
def test_other_inputs_are_converted_to_float64(clib, convert):
    x = sine(261.6, 2048) + 0.1 * sine(523.2, 2048)
    given = convert(x)
    as_double = np.ascontiguousarray(np.asarray(given, dtype=np.float64))
    tracker, record = wavepitch.Tracker(), clib.new_record()
    for start, count in ((0, 1024), (512, 1024), (1024, 1024)):
        assert bits(tracker.compute(given, start, count)) == \
            bits(clib.compute(record, as_double, start, count))


def test_a_contiguous_float64_array_is_read_in_place():
    # Eight megabytes of samples: a copy of them would show in the peak.
    x = sine(440.0, 1 << 20)
    tracker = wavepitch.Tracker()
    tracemalloc.start()
    try:
        tracemalloc.reset_peak()
        tracker.compute(x, 0, 1024)
        in_place = tracemalloc.get_traced_memory()[1]
        tracemalloc.reset_peak()
        tracker.compute(x[::-1], 0, 1024)  # not contiguous: converted
        copied = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert in_place < 64 * 1024
    assert copied >= x.nbytes


def test_the_samples_are_left_unchanged():
    x = sine(440.0, 4096) + np.linspace(-0.1, 0.1, 4096)
    before = x.copy()
    wavepitch.Tracker().compute(x, 0, 4096)
    wavepitch.track(x)
    wavepitch.track(np.stack([x, x], axis=1), sample_rate=22050)
    assert np.array_equal(x, before)


def test_needed_sample_count_matches_c(clib):
    for hz in (-5, 0, 1, 2, 20, 60, 130, 131, 440, 1000, 44100, 132300, 132301, 2**31 - 1):
        assert wavepitch.needed_sample_count(hz) == clib.neededsamplecount(hz), hz
    assert wavepitch.needed_sample_count(130) == 1024
    assert wavepitch.needed_sample_count(44100) == 4
    # Beyond C's int: as far beyond the range as C's largest and smallest int.
    assert wavepitch.needed_sample_count(2**40) == clib.neededsamplecount(2**31 - 1)
    assert wavepitch.needed_sample_count(-2**40) == clib.neededsamplecount(-2**31)


def test_two_threads_track_at_once(clib):
    """Each thread with its own Tracker gets what it would get alone."""
    streams = [np.concatenate([sine(hz, 44100), np.zeros(3000), sine(hz * 1.5, 20000)])
               for hz in (196.0, 330.0)]
    expected = []
    for x in streams:
        record = clib.new_record()
        expected.append([clib.compute(record, x, s, 512) for s in range(0, len(x) - 511, 512)])
    expected_track = [wavepitch.track(x) for x in streams]

    results = [None, None]
    tracks = [None, None]
    barrier = threading.Barrier(2)

    def run(i):
        tracker = wavepitch.Tracker()
        x = streams[i]
        barrier.wait()
        for _ in range(5):
            tracks[i] = wavepitch.track(x)
            tracker.reset()
            results[i] = [tracker.compute(x, s, 512) for s in range(0, len(x) - 511, 512)]

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(2):
        assert [bits(v) for v in results[i]] == [bits(v) for v in expected[i]]
        assert np.array_equal(tracks[i][1], expected_track[i][1])
        assert np.array_equal(tracks[i][1], np.array(expected[i]))


def test_compute_runs_without_the_interpreter_lock():
    """While one thread is inside compute, another thread runs Python code and
    finds the Tracker in use. It could not run at all if compute held the lock;
    and it is refused, not let in to race on the record."""
    x = sine(220.0, 1 << 18)
    tracker = wavepitch.Tracker()
    done = threading.Event()
    refused = []

    def watch():
        while not done.is_set():
            try:
                tracker.confidence
            except RuntimeError as error:
                refused.append(str(error))

    def work():
        try:
            for _ in range(200):
                tracker.compute(x)
                if refused:
                    break
        finally:
            done.set()

    watcher = threading.Thread(target=watch)
    watcher.start()
    work()
    watcher.join()
    assert refused, "no call saw the Tracker in use: compute held the interpreter lock"
    assert "another thread" in refused[0]
    # The record is intact afterwards.
    assert tracker.confidence >= 1 and abs(tracker.last_pitch - 220.0) < 1.0
