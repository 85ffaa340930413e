"""Shared pieces of the wavepitch tests: the C library itself through ctypes,
the pitchtrack program, and test signals.

The test command passes WAVEPITCH_CLIB (a shared object of the C library's
objects) and WAVEPITCH_PITCHTRACK (the program). Without them the tests that
need them fail: they must never pass by skipping.
"""

import ctypes
import os

import numpy as np
import pytest

RATE = 44100


class CRecord(ctypes.Structure):
    """The C library's tracker record, field for field."""

    _fields_ = [("_lastPitch", ctypes.c_double), ("_confidence", ctypes.c_int)]


class CLibrary:
    """The C library's functions, called directly on numpy buffers."""

    def __init__(self, path):
        lib = ctypes.CDLL(path)
        self.computepitch = lib.dywapitch_computepitch
        self.computepitch.restype = ctypes.c_double
        self.computepitch.argtypes = [ctypes.POINTER(CRecord), ctypes.c_void_p,
                                      ctypes.c_int, ctypes.c_int]
        self.inittracking = lib.dywapitch_inittracking
        self.inittracking.restype = None
        self.inittracking.argtypes = [ctypes.POINTER(CRecord)]
        self.neededsamplecount = lib.dywapitch_neededsamplecount
        self.neededsamplecount.restype = ctypes.c_int
        self.neededsamplecount.argtypes = [ctypes.c_int]
        self.estimate = lib._dywapitch_computeWaveletPitch
        self.estimate.restype = ctypes.c_double
        self.estimate.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]

    def new_record(self):
        record = CRecord()
        self.inittracking(ctypes.byref(record))
        return record

    def compute(self, record, samples, start, count):
        assert samples.dtype == np.float64 and samples.flags.c_contiguous
        return self.computepitch(ctypes.byref(record), samples.ctypes.data, start, count)


def _required_path(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.fail(f"{variable} must name an existing file (the test command sets it), "
                    f"not {path!r}", pytrace=False)
    return path


@pytest.fixture(scope="session")
def clib():
    return CLibrary(_required_path("WAVEPITCH_CLIB"))


@pytest.fixture(scope="session")
def pitchtrack():
    return _required_path("WAVEPITCH_PITCHTRACK")


def sine(hz, count, amplitude=0.5, phase=0.0, rate=RATE):
    """count samples of a sine of hz at rate, starting at phase."""
    return amplitude * np.sin(2.0 * np.pi * hz * np.arange(count) / rate + phase)


def bits(value):
    """A float's bit pattern, so that -0.0, 0.0 and NaNs compare exactly."""
    return np.float64(value).view(np.uint64).item()
