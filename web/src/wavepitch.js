// wavepitch for JavaScript: the wavepitch C library compiled to WebAssembly.
//
//   import wavepitch from 'wavepitch';
//   const { Tracker, neededSampleCount, track } = await wavepitch();
//
// Works in Node 18 and later, in browsers, and in an AudioWorkletGlobalScope,
// where nothing can be fetched: there, pass the .wasm file's bytes (or a
// compiled WebAssembly.Module) as wavepitch({ wasmBinary }).

const TRACKER_RATE = 44100;
const MIN_WINDOW = 4;
const MAX_WINDOW = 1048576;
// Rates further than this from 44100 Hz are refused, as pitchtrack refuses them.
const MAX_RATIO = 256;
// Samples that track() hands the module at a time.
const BLOCK_SAMPLES = 1 << 16;

function isNode() {
  return typeof process === 'object' && process !== null &&
    typeof process.versions === 'object' && process.versions !== null &&
    typeof process.versions.node === 'string';
}

async function defaultBinary() {
  const url = new URL('./wavepitch.wasm', import.meta.url);
  if (isNode() && url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  if (typeof fetch !== 'function') {
    throw new TypeError(
      'wasmBinary: this scope cannot fetch wavepitch.wasm; pass its bytes as wavepitch({ wasmBinary })');
  }
  const response = await fetch(url);
  if (!response.ok) {
    throw new Error(`wavepitch: cannot fetch ${url}: ${response.status} ${response.statusText}`);
  }
  return response.arrayBuffer();
}

async function compiledModule(wasmBinary) {
  if (wasmBinary === undefined) return WebAssembly.compile(await defaultBinary());
  if (wasmBinary instanceof WebAssembly.Module) return wasmBinary;
  if (wasmBinary instanceof ArrayBuffer || ArrayBuffer.isView(wasmBinary)) {
    return WebAssembly.compile(wasmBinary);
  }
  throw new TypeError('wasmBinary must be an ArrayBuffer, a typed array or a WebAssembly.Module');
}

function isInteger(value) {
  return typeof value === 'number' && Number.isInteger(value);
}

// A whole number argument in [low, high]: a TypeError when it is no number,
// a RangeError when it is one outside the range.
function integerArgument(name, value, low, high) {
  if (typeof value !== 'number') throw new TypeError(`${name} must be a number, not ${typeof value}`);
  if (!isInteger(value) || value < low || value > high) {
    throw new RangeError(`${name} must be a whole number from ${low} to ${high}, not ${value}`);
  }
  return value;
}

// Float64Array, Float32Array and plain arrays of numbers; a TypeError for
// anything else.
function checkSamples(samples) {
  if (samples instanceof Float64Array || samples instanceof Float32Array) return samples;
  if (Array.isArray(samples)) {
    for (let i = 0; i < samples.length; ++i) {
      if (typeof samples[i] !== 'number') {
        throw new TypeError(`samples[${i}] must be a number, not ${typeof samples[i]}`);
      }
    }
    return samples;
  }
  const what = samples === null ? 'null' : typeof samples;
  throw new TypeError(`samples must be a Float64Array, a Float32Array or an array of numbers, not ${what}`);
}

function floorPowerOfTwo(count) {
  let n = 1;
  while (n * 2 <= count) n *= 2;
  return n;
}

async function instantiate(module) {
  const imports = {
    env: { emscripten_notify_memory_growth() {} },
    // Reached only when the module's memory cannot grow for a buffer that
    // track() needs.
    wasi_snapshot_preview1: {
      proc_exit(code) {
        throw new RangeError(`samples: too many to track in the module's memory (${code})`);
      },
    },
  };
  // Asynchronous: browsers refuse to instantiate all but tiny modules
  // synchronously on their main thread.
  const instance = await WebAssembly.instantiate(module, imports);
  const wasm = instance.exports;
  const memory = wasm.memory;
  if (typeof wasm._initialize === 'function') wasm._initialize();

  // Views on the memory, made again whenever it has grown.
  let buffer = null;
  let f64 = null;
  let i32 = null;
  const views = () => {
    if (buffer !== memory.buffer) {
      buffer = memory.buffer;
      f64 = new Float64Array(buffer);
      i32 = new Int32Array(buffer);
    }
  };

  // One buffer for compute's windows, grown to the largest window seen.
  let scratch = 0;
  let scratchSize = 0;
  const scratchFor = (count, argument = 'count') => {
    if (count > scratchSize) {
      const grown = wasm.wp_doubles(count);
      if (grown === 0) throw new RangeError(`${argument}: ${count} samples do not fit in the module's memory`);
      if (scratch !== 0) wasm.wp_free(scratch);
      scratch = grown;
      scratchSize = count;
    }
    return scratch;
  };

  // Trackers that are dropped without dispose() give their record back when
  // they are collected.
  const unreleased = typeof FinalizationRegistry === 'function'
    ? new FinalizationRegistry((record) => wasm.wp_free(record))
    : null;

  class Tracker {
    // The record's address in the module's memory, 0 once disposed. (Calls
    // on anything but a Tracker fail on it with a TypeError, too.)
    #record;

    constructor() {
      const record = wasm.wp_tracker_new();
      if (record === 0) throw new RangeError("no room for another Tracker in the module's memory");
      this.#record = record;
      if (unreleased) unreleased.register(this, record, this);
    }

    #live() {
      if (this.#record === 0) throw new TypeError('this Tracker has been disposed');
      return this.#record;
    }

    compute(samples, start = 0, count = undefined) {
      const record = this.#live();
      checkSamples(samples);
      const length = samples.length;
      integerArgument('start', start, 0, length);
      if (count === undefined) count = length - start;
      integerArgument('count', count, 0, length - start);
      if (count < MIN_WINDOW) return wasm.wp_computepitch(record, scratchFor(1), 0, count);
      // The tracker reads the largest power of two at or below count.
      const used = floorPowerOfTwo(count);
      const at = scratchFor(used);
      views();
      const end = start + used;
      if (start === 0 && end === length && samples instanceof Float64Array) {
        f64.set(samples, at / 8);
      } else if (ArrayBuffer.isView(samples)) {
        f64.set(samples.subarray(start, end), at / 8);
      } else {
        f64.set(samples.slice(start, end), at / 8);
      }
      // The same window as count gives, and an int whatever count is.
      return wasm.wp_computepitch(record, at, 0, used);
    }

    reset() {
      wasm.wp_inittracking(this.#live());
    }

    get lastPitch() {
      const record = this.#live();
      views();
      return f64[record / 8];
    }

    get confidence() {
      const record = this.#live();
      views();
      return i32[record / 4 + 2];
    }

    dispose() {
      const record = this.#record;
      if (record === 0) return;
      this.#record = 0;
      if (unreleased) unreleased.unregister(this);
      wasm.wp_free(record);
    }
  }

  function neededSampleCount(minFreq) {
    if (typeof minFreq !== 'number') throw new TypeError(`minFreq must be a number, not ${typeof minFreq}`);
    if (!Number.isFinite(minFreq) || minFreq <= 0) {
      throw new RangeError(`minFreq must be a frequency above 0 Hz, not ${minFreq}`);
    }
    // The C function takes whole hertz; 0 means no window is long enough.
    return wasm.wp_neededsamplecount(Math.min(Math.trunc(minFreq), 2 ** 31 - 1));
  }

  function track(samples, options = {}) {
    checkSamples(samples);
    if (options === null || typeof options !== 'object') throw new TypeError('options must be an object');
    const { sampleRate = TRACKER_RATE, window = 512, hop = 512, channels = 1 } = options;
    if (typeof sampleRate !== 'number') throw new TypeError(`sampleRate must be a number, not ${typeof sampleRate}`);
    if (!(sampleRate > 0) || !Number.isFinite(sampleRate)) {
      throw new RangeError(`sampleRate must be a rate above 0 Hz, not ${sampleRate}`);
    }
    integerArgument('window', window, MIN_WINDOW, MAX_WINDOW);
    if ((window & (window - 1)) !== 0) throw new RangeError(`window must be a power of two, not ${window}`);
    integerArgument('hop', hop, 1, 2 ** 31 - 1);
    integerArgument('channels', channels, 1, 2 ** 31 - 1);
    const length = samples.length;
    if (length % channels !== 0) {
      throw new RangeError(`channels (${channels}) must divide the number of samples (${length})`);
    }
    const ratio = sampleRate / TRACKER_RATE;
    if (ratio > MAX_RATIO || ratio < 1 / MAX_RATIO) {
      throw new RangeError(`sampleRate must lie within 256 times 44100 Hz, not ${sampleRate}`);
    }
    const stream = wasm.wp_stream_new(sampleRate, channels, window, hop);
    if (stream === 0) throw new RangeError("no room to track in the module's memory");
    try {
      // Block by block, as pitchtrack reads a file: the module's memory
      // holds one block and the windows, whatever the recording's length.
      const frames = length / channels;
      const blockFrames = Math.max(1, Math.floor(BLOCK_SAMPLES / channels));
      for (let from = 0; from < frames; from += blockFrames) {
        const count = Math.min(blockFrames, frames - from);
        const at = scratchFor(count * channels, 'samples');
        views();
        const begin = from * channels;
        const end = begin + count * channels;
        f64.set(ArrayBuffer.isView(samples) ? samples.subarray(begin, end) : samples.slice(begin, end), at / 8);
        wasm.wp_stream_push(stream, at, count);
      }
      const windows = wasm.wp_stream_finish(stream);
      const result = {
        time: new Float64Array(windows),
        frequency: new Float64Array(windows),
        confidence: new Float64Array(windows),
      };
      views();
      const first = wasm.wp_stream_windows(stream) / 8;
      for (let i = 0; i < windows; ++i) {
        result.time[i] = f64[first + 3 * i];
        result.frequency[i] = f64[first + 3 * i + 1];
        result.confidence[i] = f64[first + 3 * i + 2];
      }
      return result;
    } finally {
      wasm.wp_stream_free(stream);
    }
  }

  // Bytes of the module's memory allocated now (records and buffers).
  function memoryInUse() {
    return wasm.wp_bytes_in_use();
  }

  return { Tracker, neededSampleCount, track, memoryInUse };
}

// Instantiates the module once and gives its interface.
export default async function wavepitch(options = {}) {
  if (options === null || typeof options !== 'object') throw new TypeError('options must be an object');
  return instantiate(await compiledModule(options.wasmBinary));
}

export { wavepitch };
export { PitchRing } from './pitch-ring.js';
