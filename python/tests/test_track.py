"""track() over whole recordings: the same lines as pitchtrack prints for
the same audio, and the same pitches as a Tracker run window by window."""

import subprocess
import wave

import numpy as np
import pytest

import wavepitch
from conftest import bits, sine


def sung_stereo(rate, seconds, seed=3):
    """Two different channels: a gliding voice with harmonics on the left and
    a quieter steady tone with noise on the right, with a pause between."""
    rng = np.random.default_rng(seed)
    n = int(rate * seconds)
    t = np.arange(n) / rate
    glide = 180.0 + 120.0 * t / seconds
    voice = 0.5 * np.sin(2 * np.pi * np.cumsum(glide) / rate)
    voice += 0.2 * np.sin(4 * np.pi * np.cumsum(glide) / rate)
    voice[int(0.4 * n):int(0.5 * n)] = 0.0
    other = 0.25 * np.sin(2 * np.pi * 262.0 * t) + rng.normal(0.0, 0.02, n)
    return np.stack([voice, other], axis=1)


def write_wav16(path, frames, rate):
    """Writes frames (frames x channels, in -1..1) as 16-bit PCM and returns
    the samples as any reader of 16-bit audio sees them: the integers / 32768."""
    pcm = np.clip(np.round(frames * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(str(path), "wb") as w:
        w.setnchannels(frames.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())
    return pcm.astype(np.float64) / 32768.0


def pitchtrack_lines(program, path, *options):
    out = subprocess.run([program, *options, str(path)], check=True, capture_output=True,
                         text=True).stdout
    return out.splitlines()


def as_lines(times, pitches):
    return [f"{t:.6f} {p:.3f}" for t, p in zip(times, pitches)]


@pytest.mark.parametrize("rate,window,hop", [(48000, 512, 512), (22050, 1024, 300)])
def test_track_prints_what_pitchtrack_prints(tmp_path, pitchtrack, rate, window, hop):
    path = tmp_path / f"voice-{rate}.wav"
    samples = write_wav16(path, sung_stereo(rate, 1.5), rate)
    want = pitchtrack_lines(pitchtrack, path, "--window", str(window), "--hop", str(hop))
    times, pitches = wavepitch.track(samples, sample_rate=rate, window=window, hop=hop)
    assert times.dtype == np.float64 and pitches.dtype == np.float64
    assert as_lines(times, pitches) == want
    # Enough voiced windows and a pause, so that the comparison means something.
    voiced = np.count_nonzero(pitches)
    assert 0.6 * len(pitches) < voiced < len(pitches)


def test_track_of_a_mono_file_at_the_tracker_rate(tmp_path, pitchtrack):
    path = tmp_path / "mono.wav"
    samples = write_wav16(path, sung_stereo(44100, 1.0)[:, :1], 44100)
    want = pitchtrack_lines(pitchtrack, path)
    assert as_lines(*wavepitch.track(samples[:, 0])) == want
    assert as_lines(*wavepitch.track(samples)) == want


@pytest.mark.parametrize("hop", [256, 1])
def test_track_is_a_tracker_over_consecutive_windows(clib, hop):
    x = np.ascontiguousarray(sung_stereo(44100, 1.0)[:, 0])
    times, pitches = wavepitch.track(x, window=1024, hop=hop)
    record = clib.new_record()
    starts = range(0, len(x) - 1024 + 1, hop)
    assert len(pitches) == len(starts)
    for start, t, p in zip(starts, times, pitches):
        assert t == start / 44100.0
        assert bits(p) == bits(clib.compute(record, x, start, 1024))


def test_channel_layouts_and_dtypes_give_the_same_track():
    stereo = sung_stereo(32000, 0.5)
    want = wavepitch.track(stereo, sample_rate=32000)
    for same in (np.asfortranarray(stereo), stereo.tolist(),
                 np.ascontiguousarray(stereo.T).T):
        got = wavepitch.track(same, sample_rate=32000)
        assert np.array_equal(got[0], want[0]) and np.array_equal(got[1], want[1])
    mixed = stereo.mean(axis=1)
    # The mix is the channels' average: a mono copy of it tracks alike.
    assert np.array_equal(wavepitch.track(mixed, sample_rate=32000)[1], want[1])
    # A float sample rate that is a whole number is that rate.
    assert np.array_equal(wavepitch.track(stereo, sample_rate=32000.0)[1], want[1])


def test_audio_shorter_than_a_window_gives_no_windows():
    for samples in (np.zeros(0), np.zeros(511), np.zeros((100, 2))):
        times, pitches = wavepitch.track(samples)
        assert times.shape == (0,) and pitches.shape == (0,)
        assert times.dtype == np.float64 and pitches.dtype == np.float64


def test_track_windows_and_times():
    x = sine(440.0, 44100)
    times, pitches = wavepitch.track(x, window=2048, hop=1000)
    assert len(times) == (44100 - 2048) // 1000 + 1
    assert np.array_equal(times, np.arange(len(times)) * 1000 / 44100.0)
    assert np.all(np.abs(pitches - 440.0) < 1.0)
