// The wavepitch module for Python: a thin layer over the C library.
//
// Every pitch comes from dywapitch_computepitch itself, called on the
// caller's samples; this file only checks arguments, finds the samples'
// memory and releases the interpreter lock around the C calls. The mono mix
// and resampling of track() are pitchtrack's own (tracker_input.h), so both
// hand the tracker the same samples for the same audio.

#include "tracker_input.h"

#include <wavepitch.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using Samples = py::array_t<double, py::array::c_style>;

constexpr long long kMinWindow = 4;
constexpr long long kMaxWindow = 1 << 20;

// Whether samples is a buffer of single bytes that is not a numpy array
// (a memoryview or array.array of bytes): numpy would read each byte as one
// sample, where the bytes mostly hold the samples of another type.
bool isByteBuffer(const py::object &samples) {
    if (py::isinstance<py::array>(samples) || !PyObject_CheckBuffer(samples.ptr()))
        return false;
    Py_buffer view;
    if (PyObject_GetBuffer(samples.ptr(), &view, PyBUF_FORMAT | PyBUF_STRIDES) != 0) {
        PyErr_Clear();
        return false;
    }
    const bool bytes = view.itemsize == 1;
    PyBuffer_Release(&view);
    return bytes;
}

// Samples as a C-contiguous float64 array: the caller's own array when it
// already is one (no copy), else a converted copy. Anything whose values are
// not real numbers (text, objects, complex values) is a TypeError.
Samples asSamples(const py::object &samples) {
    if (Samples::check_(samples))
        return py::reinterpret_borrow<Samples>(samples);
    const std::string type = Py_TYPE(samples.ptr())->tp_name;
    if (PyUnicode_Check(samples.ptr()))
        throw py::type_error("samples must be numbers, not " + type);
    if (PyBytes_Check(samples.ptr()) || PyByteArray_Check(samples.ptr()) || isByteBuffer(samples))
        throw py::type_error("samples must be numbers, not raw bytes (" + type +
                             "); numpy.frombuffer(data, dtype) reads them as samples");
    // Kept for the life of the process: a static py::object would be released
    // after the interpreter has gone.
    static const py::handle asarray =
        py::object(py::module_::import("numpy").attr("asarray")).release();
    const py::array array = asarray(samples);
    const char kind = array.dtype().kind();
    if (kind != 'b' && kind != 'i' && kind != 'u' && kind != 'f')
        throw py::type_error("samples must be real numbers, not " +
                             py::str(array.dtype()).cast<std::string>() + " values");
    Samples converted = Samples::ensure(array);
    if (!converted)
        throw py::type_error("samples cannot be read as 64-bit floats");
    return converted;
}

void requireDimensions(const Samples &samples, int lowest, int highest, const char *what) {
    const auto ndim = samples.ndim();
    if (ndim < lowest || ndim > highest)
        throw py::value_error("samples must be " + std::string(what) + ", not " +
                              std::to_string(ndim) + "-D");
}

// Marks a Tracker as in use for one call. Two threads sharing a record
// would race on it; the second is refused instead.
class Exclusive {
  public:
    explicit Exclusive(std::atomic<bool> &busy) : busy_(busy) {
        if (busy_.exchange(true, std::memory_order_acquire))
            throw std::runtime_error(
                "this Tracker is in use by another thread; give each thread its own Tracker");
    }
    ~Exclusive() { busy_.store(false, std::memory_order_release); }
    Exclusive(const Exclusive &) = delete;
    Exclusive &operator=(const Exclusive &) = delete;

  private:
    std::atomic<bool> &busy_;
};

class Tracker {
  public:
    Tracker() { dywapitch_inittracking(&record_); }

    double compute(const py::object &samples, long long start, std::optional<long long> count) {
        const Samples array = asSamples(samples);
        requireDimensions(array, 1, 1, "1-D");
        const long long size = array.shape(0);
        if (start < 0 || start > size)
            throw py::value_error("start must lie within the samples, from 0 to " +
                                  std::to_string(size) + ", not " + std::to_string(start));
        const long long n = count.value_or(size - start);
        if (n < 0 || n > size - start)
            throw py::value_error("count must be from 0 to " + std::to_string(size - start) +
                                  " (the samples after start), not " + std::to_string(n));
        if (start > INT_MAX || n > INT_MAX)
            throw py::value_error(std::string(start > INT_MAX ? "start" : "count") +
                                  " must be at most " + std::to_string(INT_MAX));
        Exclusive use(busy_);
        const double *data = array.data();
        py::gil_scoped_release unlocked;
        return dywapitch_computepitch(&record_, data, static_cast<int>(start), static_cast<int>(n));
    }

    void reset() {
        Exclusive use(busy_);
        dywapitch_inittracking(&record_);
    }

    _dywapitchtracker record() {
        Exclusive use(busy_);
        return record_;
    }

  private:
    _dywapitchtracker record_{};
    std::atomic<bool> busy_{false};
};

py::array_t<double> toArray(const std::vector<double> &values) {
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

py::tuple track(const py::object &samples, double sampleRate, long long window, long long hop) {
    if (window < kMinWindow || window > kMaxWindow || (window & (window - 1)) != 0)
        throw py::value_error("window must be a power of two from 4 to 1048576, not " +
                              std::to_string(window));
    if (hop < 1)
        throw py::value_error("hop must be at least 1, not " + std::to_string(hop));
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate))
        throw py::value_error("sample_rate must be a positive number of Hz, not " +
                              py::repr(py::float_(sampleRate)).cast<std::string>());
    const Samples array = asSamples(samples);
    requireDimensions(array, 1, 2, "1-D (mono) or 2-D (frames x channels)");
    const std::size_t frames = static_cast<std::size_t>(array.shape(0));
    const long long channels = array.ndim() == 2 ? array.shape(1) : 1;
    if (channels < 1 || channels > INT_MAX)
        throw py::value_error("samples must have at least one channel, not " +
                              std::to_string(channels));
    const std::string error = pitchtrack::TrackerStream::check(
        sampleRate, static_cast<int>(channels), static_cast<int>(window), hop);
    if (!error.empty())
        throw py::value_error("samples at sample_rate " +
                              py::repr(py::float_(sampleRate)).cast<std::string>() + ": " + error);
    const double *data = array.data();
    std::vector<double> times, pitches;
    {
        // Runs on released samples: no Python object is touched here.
        py::gil_scoped_release unlocked;
        pitchtrack::TrackerStream stream(sampleRate, static_cast<int>(channels),
                                         static_cast<int>(window), hop);
        std::vector<pitchtrack::WindowPitch> windows;
        stream.push(data, frames, windows);
        stream.finish(windows);
        times.reserve(windows.size());
        pitches.reserve(windows.size());
        for (const pitchtrack::WindowPitch &w : windows) {
            times.push_back(w.time);
            pitches.push_back(w.frequency);
        }
    }
    return py::make_tuple(toArray(times), toArray(pitches));
}

// For the benchmark: the seconds that `repeats` calls of the C function take
// on the consecutive windows of `count` samples, with one record, looping
// back to the first window at the end; the same loop as a Python caller's.
// Each call reads `used` samples of its window (count when it is -1).
double timeCCalls(const py::object &samples, long long count, long long repeats, long long used) {
    const Samples array = asSamples(samples);
    requireDimensions(array, 1, 1, "1-D");
    const long long windows = count > 0 ? array.shape(0) / count : 0;
    if (windows < 1 || count > INT_MAX || used < 0 || used > count)
        throw py::value_error("count must be from 1 to the number of samples");
    const double *data = array.data();
    py::gil_scoped_release unlocked;
    _dywapitchtracker record;
    dywapitch_inittracking(&record);
    volatile double sink = 0.0;
    const auto begin = std::chrono::steady_clock::now();
    for (long long i = 0; i < repeats; ++i)
        sink = dywapitch_computepitch(&record, data, static_cast<int>((i % windows) * count),
                                      static_cast<int>(used));
    const auto end = std::chrono::steady_clock::now();
    (void)sink;
    return std::chrono::duration<double>(end - begin).count();
}

const char kModuleDoc[] = R"(Wavelet pitch tracking of mono audio, for numpy arrays.

The pitch of one window of samples is found by a wavelet estimator and then
steadied against the recent history kept in a Tracker: estimates within 20 %
of the last pitch are taken, a jump of an octave from a well-trusted pitch is
corrected, and short gaps are bridged by holding the last pitch while its
confidence lasts. Pitches are in Hz; 0.0 means no pitch.

Samples are 64-bit floats at 44100 Hz. A C-contiguous float64 numpy array is
read in place; other numeric arrays and sequences are converted first.

Functions and classes:
  Tracker              one stream's history; Tracker.compute(samples) per window
  track(samples, ...)  the pitch of consecutive windows of a whole recording
  needed_sample_count  the window length that holds three periods of a pitch

Example:
  >>> import numpy as np, wavepitch
  >>> t = np.arange(2048) / 44100.0
  >>> tone = 0.5 * np.sin(2 * np.pi * 440.0 * t)
  >>> tracker = wavepitch.Tracker()
  >>> round(tracker.compute(tone, 0, 1024))
  440
  >>> times, pitches = wavepitch.track(tone, window=1024, hop=512)

Every computation releases the interpreter lock, so several threads can track
several streams at once, each with its own Tracker.
)";

const char kTrackerDoc[] = R"(The pitch history of one stream.

A new Tracker has no last pitch (last_pitch -1.0, confidence -1). Each call
of compute() estimates the pitch of one window and updates the history that
steadies the next estimates.

A Tracker is for one thread at a time: calls run without the interpreter
lock, and a second thread that calls into a Tracker while another is inside
it gets a RuntimeError. Give each thread or stream its own Tracker.
)";

const char kComputeDoc[] = R"(The tracked pitch of one window, in Hz, or 0.0 for no pitch.

samples: a 1-D array-like of samples at 44100 Hz. A C-contiguous float64
  numpy array is read in place; other numeric input is converted.
start:   the index of the window's first sample (0 to len(samples)).
count:   the window's length; defaults to the samples after start. Only the
  largest power of two at or below count is used (1000 samples are read as
  512). Fewer than 4 samples, or any NaN or infinity in the window, give no
  estimate; the history then bridges the gap as for any window without a pitch.

Updates last_pitch and confidence. Raises TypeError for samples that are not
numbers, ValueError for samples that are not 1-D or a start or count outside
them.
)";

const char kTrackDoc[] = R"(The pitch of consecutive windows of a recording: (times, pitches).

samples:     1-D (mono) or 2-D (frames x channels) samples; channels are
  averaged to one.
sample_rate: the samples' rate in Hz; other rates than 44100 are converted to
  44100 Hz with pitchtrack's windowed-sinc resampler.
window:      samples per window at 44100 Hz, a power of two from 4 to 1048576.
hop:         samples at 44100 Hz from the start of one window to the next, at
  least 1.

One new Tracker runs over the windows in order, as the pitchtrack program
runs it over an audio file, and gives the same pitches for the same samples.
Windows that would run past the end are not tracked. Returns two float64
arrays of equal length: each window's start in seconds and its pitch in Hz
(0.0 for no pitch).

Raises TypeError for samples that are not numbers and ValueError for an
argument outside the ranges above.
)";

const char kNeededDoc[] =
    R"(The window length, a power of two, that holds three periods of min_freq Hz.

For example 1024 for 130 Hz. Returns 0 for a min_freq of 0 or below, where
no window is long enough, and above 132300 Hz.
)";

} // namespace

PYBIND11_MODULE(wavepitch, m) {
    m.doc() = kModuleDoc;
    m.attr("SAMPLE_RATE") = pitchtrack::kTrackerRate;
    m.attr("__version__") = WAVEPITCH_VERSION;
    m.attr("__all__") = py::make_tuple("Tracker", "track", "needed_sample_count", "SAMPLE_RATE");

    m.def(
        "needed_sample_count",
        [](long long minFreq) {
            const long long clamped =
                std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, minFreq));
            return dywapitch_neededsamplecount(static_cast<int>(clamped));
        },
        py::arg("min_freq"), kNeededDoc);

    py::class_<Tracker>(m, "Tracker", kTrackerDoc)
        .def(py::init<>(), "A Tracker with no history.")
        .def("compute", &Tracker::compute, py::arg("samples"), py::arg("start") = 0,
             py::arg("count") = py::none(), kComputeDoc)
        .def("reset", &Tracker::reset,
             "Forgets the history, as in a new Tracker: last_pitch -1.0, confidence -1.")
        .def_property_readonly(
            "last_pitch", [](Tracker &t) { return t.record()._lastPitch; },
            "The last accepted pitch in Hz; -1.0 when there is none.")
        .def_property_readonly(
            "confidence", [](Tracker &t) { return t.record()._confidence; },
            "How far last_pitch is trusted: -1 in a new Tracker, then 0 to 5.")
        .def("__repr__", [](Tracker &t) {
            const _dywapitchtracker r = t.record();
            return "wavepitch.Tracker(last_pitch=" +
                   py::repr(py::float_(r._lastPitch)).cast<std::string>() +
                   ", confidence=" + std::to_string(r._confidence) + ")";
        });

    m.def("track", &track, py::arg("samples"), py::arg("sample_rate") = 44100,
          py::arg("window") = 512, py::arg("hop") = 512, kTrackDoc);

    m.def(
        "_time_c_calls",
        [](const py::object &samples, long long count, long long repeats, long long used) {
            return timeCCalls(samples, count, repeats, used < 0 ? count : used);
        },
        py::arg("samples"), py::arg("count"), py::arg("repeats"), py::arg("used") = -1,
        "For the benchmark: seconds taken by `repeats` C calls over consecutive windows.");
}
