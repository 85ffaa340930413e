// Type declarations for wavepitch, the wavepitch C library compiled to
// WebAssembly.

/** Samples: 64-bit floats, 32-bit floats (converted exactly) or numbers. */
export type Samples = Float64Array | Float32Array | readonly number[];

export interface LoadOptions {
  /**
   * The bytes of wavepitch.wasm, or the module compiled from them. Needed
   * where nothing can be fetched, as in an AudioWorkletGlobalScope; elsewhere
   * the file beside this module is read.
   */
  wasmBinary?: ArrayBuffer | ArrayBufferView | WebAssembly.Module;
}

export interface TrackOptions {
  /** The rate of the samples in Hz; other rates than 44100 are resampled. */
  sampleRate?: number;
  /** Samples per window at 44100 Hz: a power of two from 4 to 1048576. Default 512. */
  window?: number;
  /** Samples at 44100 Hz from one window's start to the next, at least 1. Default 512. */
  hop?: number;
  /** Interleaved channels, mixed to mono by their average. Default 1. */
  channels?: number;
}

export interface TrackResult {
  /** Each window's start in seconds. */
  time: Float64Array;
  /** Each window's tracked pitch in Hz, 0 for none. */
  frequency: Float64Array;
  /** The record's trust after each window, from 0 to 1 in steps of 0.2. */
  confidence: Float64Array;
}

/** One stream's tracking history in the module's memory. One at a time per stream. */
export declare class Tracker {
  /** A freshly initialised record: no last pitch, confidence -1. */
  constructor();
  /**
   * The tracked pitch in Hz (0 for none) of samples[start, start + count) at
   * 44100 Hz, of which the largest power of two at or below count is used.
   */
  compute(samples: Samples, start?: number, count?: number): number;
  /** Forgets the history, as a fresh tracker. */
  reset(): void;
  /** The last accepted pitch in Hz; -1 when there is none. */
  readonly lastPitch: number;
  /** How far the last pitch is trusted: -1 when fresh, then 0 to 5. */
  readonly confidence: number;
  /** Frees the record; the tracker throws on any later use. */
  dispose(): void;
}

export interface WavePitch {
  Tracker: typeof Tracker;
  /** Samples (a power of two) holding three periods of minFreq Hz; 0 when none can. */
  neededSampleCount(minFreq: number): number;
  /** Tracks a whole recording as pitchtrack --csv does. */
  track(samples: Samples, options?: TrackOptions): TrackResult;
  /** Bytes of the module's memory allocated now (records and buffers). */
  memoryInUse(): number;
}

/** One block's estimate, as the AudioWorklet processor gives it. */
export interface PitchEstimate {
  /** The block's start in seconds since the processor started. */
  time: number;
  /** Hz, 0 for none. */
  frequency: number;
  /** From 0 to 1 in steps of 0.2. */
  confidence: number;
}

/**
 * The AudioWorklet processor's estimates in a SharedArrayBuffer: one writer
 * (the processor), one reader (the page). Needs a cross-origin isolated page.
 */
export declare class PitchRing {
  /** A ring of at least capacity entries (rounded up to a power of two, at most 1048576), or the other side of an existing ring's buffer. */
  constructor(capacityOrBuffer?: number | SharedArrayBuffer);
  /** The buffer to pass as processorOptions.ring. */
  readonly buffer: SharedArrayBuffer;
  readonly capacity: number;
  /** Entries this reader lost by falling more than the capacity behind. */
  readonly dropped: number;
  /** The writer's side; allocates nothing. */
  push(time: number, frequency: number, confidence: number): void;
  /** The entries written since the last read, oldest first. */
  read(): PitchEstimate[];
}

/** Instantiates the module once and gives its interface. */
export default function wavepitch(options?: LoadOptions): Promise<WavePitch>;
export { wavepitch };
