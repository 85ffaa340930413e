"""The Tracker's record after known sequences of windows.

Each window is a 2048-sample sine whose raw estimate the C estimator gives;
the tracking stage's rules then fix what the Tracker returns and keeps."""

import numpy as np
import pytest

import wavepitch
from conftest import sine

WINDOW = 2048


def tone(hz):
    return sine(hz, WINDOW)


SILENCE = np.zeros(WINDOW)


@pytest.fixture
def estimate(clib):
    """The C estimator's raw estimate of a window, before any tracking."""
    def run(x):
        x = np.ascontiguousarray(x, dtype=np.float64)
        return clib.estimate(x.ctypes.data, 0, len(x))
    return run


def state(tracker):
    return tracker.last_pitch, tracker.confidence


def tracker_at(hz, confidence):
    """A Tracker that trusts hz with the given confidence (1 to 5)."""
    tracker = wavepitch.Tracker()
    for _ in range(confidence):
        tracker.compute(tone(hz))
    assert tracker.confidence == confidence
    return tracker


def test_a_new_tracker_has_no_history():
    tracker = wavepitch.Tracker()
    assert state(tracker) == (-1.0, -1)
    assert tracker.compute(SILENCE) == 0.0
    assert state(tracker) == (-1.0, -1)
    assert repr(tracker) == "wavepitch.Tracker(last_pitch=-1.0, confidence=-1)"


def test_close_pitches_are_taken_and_confidence_rises_to_five(estimate):
    tracker = wavepitch.Tracker()
    confidences = []
    for hz in (220, 221, 222, 223, 224, 225, 226):
        e = estimate(tone(hz))
        assert abs(e - hz) < 1.0
        assert tracker.compute(tone(hz)) == e
        assert tracker.last_pitch == e
        confidences.append(tracker.confidence)
    assert confidences == [1, 2, 3, 4, 5, 5, 5]


def test_octave_jumps_from_a_trusted_pitch_are_corrected(estimate):
    tracker = tracker_at(220.0, 3)
    low = estimate(tone(110.0))
    assert tracker.compute(tone(110.0)) == 2.0 * low
    assert state(tracker) == (2.0 * low, 3)
    high = estimate(tone(440.0))
    assert tracker.compute(tone(440.0)) == 0.5 * high
    assert state(tracker) == (0.5 * high, 3)


def test_no_octave_correction_below_confidence_three(estimate):
    tracker = tracker_at(220.0, 2)
    last = tracker.last_pitch
    assert tracker.compute(tone(110.0)) == last
    assert state(tracker) == (last, 1)


def test_a_wild_pitch_is_held_off_then_taken(estimate):
    tracker = tracker_at(220.0, 1)
    last = tracker.last_pitch
    assert tracker.compute(tone(500.0)) == 0.0
    assert state(tracker) == (last, 0)
    wild = estimate(tone(500.0))
    assert tracker.compute(tone(500.0)) == wild
    assert state(tracker) == (wild, 1)


def test_gaps_are_bridged_while_confidence_lasts():
    tracker = tracker_at(220.0, 3)
    last = tracker.last_pitch
    assert [tracker.compute(SILENCE) for _ in range(3)] == [last, last, 0.0]
    assert state(tracker) == (last, 0)
    assert tracker.compute(SILENCE) == 0.0
    assert state(tracker) == (-1.0, 0)


def test_reset_forgets_the_history():
    tracker = tracker_at(330.0, 5)
    tracker.reset()
    assert state(tracker) == (-1.0, -1)
    assert tracker.compute(SILENCE) == 0.0
    assert state(tracker) == (-1.0, -1)


def test_properties_are_read_only():
    tracker = wavepitch.Tracker()
    with pytest.raises(AttributeError):
        tracker.last_pitch = 220.0
    with pytest.raises(AttributeError):
        tracker.confidence = 3


def test_short_and_non_finite_windows_follow_c(clib):
    """Whatever the C library does with a window too short to estimate or
    holding NaN or infinity, from a trusted record, the module does the same."""
    x = np.ascontiguousarray(tone(220.0))
    gaps = [(x, 0, n) for n in (0, 1, 2, 3)]
    for value in (np.nan, np.inf, -np.inf):
        w = x.copy()
        w[700] = value
        gaps.append((w, 0, WINDOW))
    for samples, start, count in gaps:
        tracker = tracker_at(220.0, 3)
        record = clib.new_record()
        for _ in range(3):
            clib.compute(record, x, 0, WINDOW)
        assert state(tracker) == (record._lastPitch, record._confidence)
        for _ in range(2):  # twice: a record left alone and one bridged differ here
            want = clib.compute(record, samples, start, count)
            assert tracker.compute(samples, start, count) == want, (count, samples[700])
            assert state(tracker) == (record._lastPitch, record._confidence)
