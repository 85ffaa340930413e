// A ready-made AudioWorklet processor: the pitch of the first input channel,
// one estimate per 512-frame block, for the main thread.
//
//   await context.audioWorklet.addModule(PROCESSOR_URL);
//   const ring = new PitchRing(256);
//   const node = new AudioWorkletNode(context, 'wavepitch', {
//     processorOptions: { wasmBinary: bytesOfWavepitchWasm, ring: ring.buffer },
//   });
//   for (const { time, frequency, confidence } of ring.read()) ...
//
// With a ring (a SharedArrayBuffer, on a cross-origin isolated page) the
// estimates go into it and process() allocates nothing. Without one, each
// estimate is posted as a message, which the audio thread must allocate:
//   node.port.onmessage = ({ data }) => { data.time, data.frequency, data.confidence };
//
// The context must run at 44100 Hz (new AudioContext({ sampleRate: 44100 })):
// the tracker knows no other rate. On another one the processor posts
// { error } once and stays silent. The node passes no audio on.

import wavepitch from './wavepitch.js';
import { PitchRing } from './pitch-ring.js';

const BLOCK = 512;

class WavepitchProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.block = new Float64Array(BLOCK);
    this.filled = 0;
    this.frames = 0;
    this.tracker = null;
    this.stopped = false;
    const { wasmBinary, ring } = (options && options.processorOptions) || {};
    if (sampleRate !== 44100) {
      this.stopped = true;
      this.port.postMessage({ error: `wavepitch needs a 44100 Hz AudioContext, not ${sampleRate} Hz` });
      return;
    }
    try {
      this.ring = ring === undefined ? null : new PitchRing(ring);
    } catch (failure) {
      this.stopped = true;
      this.port.postMessage({ error: `ring: ${failure.message}` });
      return;
    }
    // Blocks that arrive before the module is ready are not tracked.
    wavepitch({ wasmBinary }).then(
      (api) => {
        this.tracker = new api.Tracker();
      },
      (failure) => {
        this.stopped = true;
        this.port.postMessage({ error: String(failure && failure.message ? failure.message : failure) });
      });
    this.port.onmessage = ({ data }) => {
      if (data === 'stop') {
        this.stopped = true;
        if (this.tracker) this.tracker.dispose();
        this.tracker = null;
      } else if (data === 'reset' && this.tracker) {
        this.tracker.reset();
      }
    };
  }

  process(inputs) {
    if (this.stopped) return false;
    const channel = inputs[0] && inputs[0][0];
    const length = channel ? channel.length : 0;
    for (let i = 0; i < length; ++i) {
      this.block[this.filled++] = channel[i];
      if (this.filled === BLOCK) {
        this.filled = 0;
        if (this.tracker) {
          const frequency = this.tracker.compute(this.block);
          const trust = this.tracker.confidence;
          const confidence = trust < 0 ? 0 : trust / 5;
          if (this.ring) this.ring.push(this.frames / sampleRate, frequency, confidence);
          else this.port.postMessage({ time: this.frames / sampleRate, frequency, confidence });
        }
        this.frames += BLOCK;
      }
    }
    return true;
  }
}

registerProcessor('wavepitch', WavepitchProcessor);
