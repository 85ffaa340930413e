"""The installed module and its reference text."""

import os
import pydoc
import sys

import wavepitch


def test_the_tests_run_against_the_installed_module():
    assert os.path.realpath(wavepitch.__file__).startswith(os.path.realpath(sys.prefix))
    assert wavepitch.__version__
    assert wavepitch.SAMPLE_RATE == 44100


def test_help_describes_every_public_name():
    text = pydoc.render_doc(wavepitch, renderer=pydoc.plaintext)
    for name in wavepitch.__all__:
        assert name in text
    public = [wavepitch.Tracker, wavepitch.Tracker.compute, wavepitch.Tracker.reset,
              wavepitch.Tracker.last_pitch, wavepitch.Tracker.confidence,
              wavepitch.track, wavepitch.needed_sample_count]
    for item in public:
        assert item.__doc__ and len(item.__doc__.strip()) > 40, item
    assert len(wavepitch.__doc__) > 500
    for words in ("one thread at a time", "sample_rate", "window", "hop", "0.0 for no pitch"):
        assert words in text, words
    assert "_time_c_calls" not in text
