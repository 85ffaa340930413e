"""What the Python layer adds to each call of the C tracker.

Times Tracker.compute on consecutive 512-sample windows of a voiced signal
from a Python loop, and the same calls of dywapitch_computepitch from a C
loop in the same module, on the same windows with one record. The difference,
less the Python loop's own cost, is the binding's overhead per call. Empty
windows (count 0), where the C call does almost nothing, show the overhead
alone.

    .venv/bin/python python/bench/compute_overhead.py [--calls N] [--runs N]
"""

import argparse
import os
import timeit

import numpy as np

import wavepitch

WINDOW = 512
# So many different windows that neither loop can learn their sequence: in a
# tight C loop over a few dozen windows the processor predicts the estimator's
# branches far better than it ever could between Python calls.
WINDOWS = 1024


def voiced_signal():
    """A gliding tone with harmonics and a little noise, WINDOWS windows long."""
    rng = np.random.default_rng(7)
    t = np.arange(WINDOW * WINDOWS) / wavepitch.SAMPLE_RATE
    hz = 180.0 + 200.0 * t / t[-1]
    phase = 2 * np.pi * np.cumsum(hz) / wavepitch.SAMPLE_RATE
    x = 0.5 * np.sin(phase) + 0.2 * np.sin(2 * phase) + 0.01 * rng.standard_normal(t.size)
    return np.ascontiguousarray(x)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=2000, help="calls per timed run")
    parser.add_argument("--runs", type=int, default=300, help="timed runs of each kind")
    args = parser.parse_args()
    calls = args.calls
    x = voiced_signal()
    windows = [np.ascontiguousarray(x[i * WINDOW:(i + 1) * WINDOW]) for i in range(WINDOWS)]
    tracker = wavepitch.Tracker()
    compute = tracker.compute

    def python_start_count():
        for i in range(calls):
            compute(x, (i % WINDOWS) * WINDOW, WINDOW)

    def python_window_arrays():
        for i in range(calls):
            compute(windows[i % WINDOWS])

    def python_empty_windows():
        for i in range(calls):
            compute(x, (i % WINDOWS) * WINDOW, 0)

    def python_loop_alone():
        for i in range(calls):
            (i % WINDOWS) * WINDOW

    timed = {
        "C loop, 512": lambda: wavepitch._time_c_calls(x, WINDOW, calls),
        "C loop, 0": lambda: wavepitch._time_c_calls(x, WINDOW, calls, 0),
        "compute(samples, start, 512)": lambda: timeit.timeit(python_start_count, number=1),
        "compute(window)": lambda: timeit.timeit(python_window_arrays, number=1),
        "compute(samples, start, 0)": lambda: timeit.timeit(python_empty_windows, number=1),
        "loop": lambda: timeit.timeit(python_loop_alone, number=1),
    }
    # Short runs, taken in turn and many times: on a busy machine the fastest
    # run of each kind is the one that no other process interrupted.
    best = dict.fromkeys(timed, float("inf"))
    for _ in range(args.runs):
        for name, run in timed.items():
            best[name] = min(best[name], run() / calls)

    loop = best["loop"]
    print(f"{'call':<30} {'per call':>10} {'C call':>10} {'overhead':>10}")
    for name, c in (("compute(samples, start, 512)", best["C loop, 512"]),
                    ("compute(window)", best["C loop, 512"]),
                    ("compute(samples, start, 0)", best["C loop, 0"])):
        per_call = best[name]
        overhead = per_call - c - loop
        print(f"{name:<30} {per_call * 1e9:8.0f} ns {c * 1e9:8.0f} ns {overhead * 1e9:8.0f} ns")
    print(f"Fastest of {args.runs} runs of {calls} calls each; the Python loop's own "
          f"{loop * 1e9:.0f} ns a turn is left out of the overhead. Load average "
          f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} cores.")


if __name__ == "__main__":
    main()
