"""Bad arguments are refused with the error type the interface names and a
message that names the argument."""

import numpy as np
import pytest

import wavepitch

WINDOW = np.zeros(1024)


@pytest.mark.parametrize("samples", [
    "0.1 0.2 0.3", b"\x00\x01", ["a", "b"], [0.1, "b"], None, object(), {"a": 1},
    np.array([1 + 2j, 3j]), np.array([None, 1.0], dtype=object),
    np.array(["1", "2"]),
    # Raw bytes, which would otherwise be read as one sample each: the bytes
    # of float64 samples in a bytearray or a memoryview.
    bytearray(np.zeros(1024).tobytes()), memoryview(np.zeros(1024).tobytes()),
], ids=["str", "bytes", "list-of-str", "mixed-list", "None", "object", "dict",
        "complex", "object-array", "str-array", "bytearray", "memoryview"])
def test_non_numeric_samples_are_a_type_error(samples):
    with pytest.raises(TypeError, match="samples"):
        wavepitch.Tracker().compute(samples)
    with pytest.raises(TypeError, match="samples"):
        wavepitch.track(samples)


@pytest.mark.parametrize("samples,dims", [
    (np.float64(0.5), "0-D"), (np.zeros((2, 512)), "2-D"), (np.zeros((2, 2, 512)), "3-D"),
])
def test_compute_takes_one_dimension(samples, dims):
    with pytest.raises(ValueError, match=f"samples must be 1-D, not {dims}"):
        wavepitch.Tracker().compute(samples)


def test_track_takes_one_or_two_dimensions():
    with pytest.raises(ValueError, match="samples must be 1-D .* not 3-D"):
        wavepitch.track(np.zeros((512, 2, 2)))
    with pytest.raises(ValueError, match="samples must be 1-D .* not 0-D"):
        wavepitch.track(0.5)
    with pytest.raises(ValueError, match="channel"):
        wavepitch.track(np.zeros((1024, 0)))


@pytest.mark.parametrize("start,count,named", [
    (-1, None, "start"), (1025, None, "start"), (2**40, None, "start"),
    (0, -1, "count"), (0, 1025, "count"), (1000, 25, "count"), (1024, 1, "count"),
])
def test_start_and_count_must_lie_within_the_samples(start, count, named):
    tracker = wavepitch.Tracker()
    with pytest.raises(ValueError, match=named):
        tracker.compute(WINDOW, start, count)
    # A refused call leaves the record alone.
    assert (tracker.last_pitch, tracker.confidence) == (-1.0, -1)


def test_the_edges_of_the_samples_are_accepted():
    tracker = wavepitch.Tracker()
    assert tracker.compute(WINDOW, 1024) == 0.0  # an empty window at the end
    assert tracker.compute(WINDOW, 1000, 24) == 0.0
    assert tracker.compute(WINDOW, count=0) == 0.0


@pytest.mark.parametrize("window", [0, 1, 2, 3, 500, 513, -4, 2**21, 2**40])
def test_window_must_be_a_power_of_two_from_4_to_1048576(window):
    with pytest.raises(ValueError, match="window must be a power of two from 4 to 1048576"):
        wavepitch.track(np.zeros(4096), window=window)


def test_window_limits_are_accepted():
    assert len(wavepitch.track(np.zeros(8), window=4, hop=4)[0]) == 2
    assert len(wavepitch.track(np.zeros(2**20), window=2**20)[0]) == 1


@pytest.mark.parametrize("hop", [0, -1, -2**40])
def test_hop_must_be_at_least_1(hop):
    with pytest.raises(ValueError, match="hop must be at least 1"):
        wavepitch.track(np.zeros(4096), hop=hop)


def test_hop_limits_are_accepted():
    # A hop past the end leaves the first window alone.
    times, _ = wavepitch.track(np.zeros(4096), hop=2**63 - 1)
    assert times.tolist() == [0.0]
    times, _ = wavepitch.track(np.zeros(4096), window=4096, hop=2**62)
    assert times.tolist() == [0.0]


@pytest.mark.parametrize("rate", [0, -44100, 0.0, float("nan"), float("inf"), -float("inf")])
def test_sample_rate_must_be_positive(rate):
    with pytest.raises(ValueError, match="sample_rate"):
        wavepitch.track(np.zeros(4096), sample_rate=rate)


def test_a_sample_rate_too_far_from_44100_is_named():
    with pytest.raises(ValueError, match="sample_rate 100.0: cannot resample"):
        wavepitch.track(np.zeros(4096), sample_rate=100)


def test_arguments_of_the_wrong_type_are_a_type_error():
    with pytest.raises(TypeError):
        wavepitch.Tracker().compute(WINDOW, "0")
    with pytest.raises(TypeError):
        wavepitch.Tracker().compute(WINDOW, 0.5)
    with pytest.raises(TypeError):
        wavepitch.track(WINDOW, window="512")
    with pytest.raises(TypeError):
        wavepitch.track(WINDOW, sample_rate="44100")
    with pytest.raises(TypeError):
        wavepitch.needed_sample_count(130.5)
